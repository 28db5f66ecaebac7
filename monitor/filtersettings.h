// The monitor's filter rules and their settings section.
//
// Section "Init.Filters": Count, then per rule n (from 1) Text<n>,
// Regex<n> (0/1), Sender<n>, Action<n> (0 show only, 1 hide, 2 highlight,
// 3 drop) and Colour<n> (a HighlightPalette index). What a damaged or hostile
// file holds is bounded on load: at most kMaxRules rules are read; a rule
// with an unknown action, a text or sender longer than kMaxPattern, or
// neither text nor sender is left out; a colour out of range reads as 0.
// A regular expression that does not compile is kept (the dialog shows it
// to be fixed) and matches no line.
#pragma once

#include "platform/system/datadirection.h"

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace zef {

class CProfile;

enum class EFilterAction : int {
  ShowOnly = 0,   // lines it matches are shown; lines no show-only rule matches are hidden
  Hide = 1,       // lines it matches are hidden (kept, shown again when the rule goes)
  Highlight = 2,  // lines it matches get its background colour
  Drop = 3,       // lines it matches are never kept in the list (the log still gets them)
};

struct SFilterRule {
  QString strText;  // substring (smart case) or regular expression; empty: any text
  bool bRegex = false;
  QString strSender;  // a substring of the sender's label (smart case); empty: any sender
  EFilterAction action = EFilterAction::Highlight;
  int nColour = 0;  // for Highlight: an index into HighlightPalette()

  friend bool operator==(const SFilterRule&, const SFilterRule&) = default;
};

struct CFilterSettings {
  static constexpr int kMaxRules = 64;
  static constexpr int kMaxPattern = 1000;  // characters of a rule's text or sender

  std::vector<SFilterRule> m_vRules;  // in the order they are checked

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CFilterSettings&, const CFilterSettings&) = default;
};

// Highlight backgrounds as 0xRRGGBB. Each keeps a contrast ratio of at least
// 4.5 against both black and white text, so a highlighted line reads in a
// light theme and in a dark one alike.
std::span<const std::uint32_t> HighlightPalette();
// The palette's colour names, for the rules dialog ("Red", "Orange", ...).
std::span<const char16_t* const> HighlightNames();

}  // namespace zef
