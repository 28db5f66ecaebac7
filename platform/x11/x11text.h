// Texts of X properties as the window tools show them: the encodings a
// title may come in, and the class part of WM_CLASS.
#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string_view>

namespace zef {

// A COMPOUND_TEXT value decoded. It starts with ASCII in GL and the right
// half of Latin-1 in GR; ESC ( B and ESC - A designate those sets again,
// and ESC % G ... ESC % @ holds UTF-8. Text in any other set (the
// multi-byte Asian sets, other 94- and 96-sets, ESC % / extended segments)
// is one U+FFFD per run between blanks, however long the run. Escape and
// direction sequences never reach the result; other control bytes are kept
// for the caller's ShownText. A sequence cut short ends the text. Linear in
// the input, and never more units than it has bytes.
QString DecodeCompoundText(std::string_view bytes);

// Where the class part of a WM_CLASS value ("instance\0class\0") starts
// and, when it is in `bytes`, where it ends.
struct SClassPart {
  std::size_t nBegin = 0;
  bool bEnds = false;
  std::size_t nEnd = 0;
};

// The class part of the first `bytes` of a WM_CLASS value; nullopt while
// the instance part has not ended within them.
std::optional<SClassPart> FindClassPart(std::string_view bytes);

// The class part read off the end of a WM_CLASS value, `tail` being its last
// bytes (the whole value ending there): after the last zero that is not the
// value's final one. nullopt when no such zero is in `tail`.
std::optional<std::string_view> ClassFromTail(std::string_view tail);

}  // namespace zef
