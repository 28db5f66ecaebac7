// Call statistics: how often each call ran and how long it took, per sender,
// over lines taken one after another.
//
// A line is handed over with what the monitor knows of it: its sender's
// label key, whether it holds '}' (it leaves a call) and '{' (it enters
// one), and the duration its stamp holds (-1: none). A line that leaves a
// call with a duration counts that call under the name its own text gives
// ("} Load() (0)" counts as "Load()"), wherever its enter line is. Calls
// entered among the lines and not left in them are counted apart as open,
// by each sender's own nesting: its '}' ends its innermost open call.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace zef {

class CCallStatistics {
 public:
  // Rows listed per sender; the rest are counted in one line.
  static constexpr int kMaxRows = 50;

  struct SRow {
    QString strName;
    std::int64_t nCount = 0;
    // Microseconds.
    std::int64_t nTotal = 0;
    std::int64_t nMean = 0;
    std::int64_t nMin = 0;
    std::int64_t nMax = 0;
    std::int64_t nP95 = 0;  // the smallest duration at least 95 % of the calls do not exceed
  };
  struct SSender {
    std::uint32_t nSender = 0;
    std::int64_t nCalls = 0;      // timed calls that ended, every name
    std::int64_t nOpen = 0;       // calls entered and not left
    std::vector<SRow> vRows;      // by total, longest first; at most kMaxRows
    std::int64_t nMoreNames = 0;  // names beyond the rows, and their calls and total
    std::int64_t nMoreCalls = 0;
    std::int64_t nMoreTotal = 0;
  };

  // Whether Add needs the line's text: only a line that ends a timed call
  // is named.
  static bool NeedsText(bool closes, std::int64_t span) { return closes && span >= 0; }
  // The next line; `text` (its own text, no indent) only when NeedsText.
  void Add(std::uint32_t sender, bool closes, bool opens, std::int64_t span, QStringView text = {});
  // Every other's lines after this one's, as if added here.
  void Merge(CCallStatistics&& later);

  // Senders in the order of their first line, each with its rows; senders
  // with neither calls nor open calls are left out.
  std::vector<SSender> Result() const;

 private:
  struct SName {
    QString strName;
    std::vector<std::int64_t> vSpans;
    std::int64_t nTotal = 0;
    std::size_t nNext = SIZE_MAX;  // the next name of the same hash
  };
  struct SCalls {
    std::uint32_t nSender = 0;
    // The first name of each hash of a name: looked up by a view into the
    // leave line, so that only a new name is copied.
    std::unordered_map<std::size_t, std::size_t> heads;
    std::vector<SName> vNames;
    // Of the lines added: calls entered and not left, and leave lines that
    // found none of this sender's calls open among them.
    std::int64_t nOpen = 0;
    std::int64_t nUnmatchedLeaves = 0;
  };

  SCalls& Find(std::uint32_t sender);
  // The entry of `name`, made when new.
  static SName& NameEntry(SCalls& calls, QStringView name);

  std::vector<SCalls> m_vSenders;  // in the order met
  std::unordered_map<std::uint32_t, std::size_t> m_senderAt;
  std::size_t m_nLast = SIZE_MAX;
};

}  // namespace zef
