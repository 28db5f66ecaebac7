// What the toolbox reads back out of selected monitor lines: the process of
// a process line, the handle of a window line, the database of a database
// line, the position of a record line.
//
// Every rule here reads a line's own text: the line as the list keeps it,
// without the indent its depth puts before it when shown (IMonitorHost::
// GetSelectedOwnText). A key must start that text, so a line is read the same
// whatever the indent string is, an empty one included, and no other text
// before the key (a client's prefix, a title holding "pid=") makes it count.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string_view>

namespace zef {

// The number between `key`, which must start `ownText`, and the first ','
// after it, read in base 16 as wcstoul reads it (leading blanks skipped,
// "0x" or "0X" accepted, stops at the first character that is no
// hexadecimal digit; a value beyond 32 bits gives 0xffffffff). 0 when the
// text does not start with the key, when no comma follows it or the comma
// follows it at once.
std::uint32_t IdAfterKey(QStringView ownText, QStringView key);

// A process line as the process listing writes it: "pid=0x%x, threads=%d,
// NAME", with 1 to 8 hexadecimal and 1 to 10 decimal digits and a name of at
// least one character (the rest of the line, commas included).
struct SProcessLine {
  std::uint32_t nProcessId = 0;
  QString strName;
};
// Nothing for any other text, and for process id 0.
std::optional<SProcessLine> ParseProcessLine(QStringView ownText);

// The id of a process line; 0 when the text is no process line.
std::uint32_t ProcessIdOfLine(QStringView ownText);
// "hwnd=" of a window line; 0 when the line names no window.
std::uint32_t WindowHandleOfLine(QStringView ownText);

// The name of a database line "\"NAME\" type=%d records=%d, size=%d KB" as
// the database listing writes it: everything between the first quote and
// the "\" type=" that starts the line's tail, however many quotes or blanks
// it holds (the tail holds none, so it starts at the last quote). Empty for
// a text that is no such line (the tail must be whole and end the text),
// and for an empty name.
QString DatabaseNameOfLine(QStringView ownText);

// The position of a record line "%03d: [%d,%d] ..." as the record listing
// writes it (at least the position, ": [", two counts, "]"; the rest, cut
// or not, is not read). Nothing for any other text, and for a position
// beyond int.
std::optional<int> RecordPositionOfLine(QStringView ownText);

// What Delete record works on: the database named by the upper of its two
// lines and the record position of the lower one. Valid only when both
// lines are of their kind.
struct SRecordSelection {
  QString strName;     // empty when the upper line is no database line
  int nPosition = -1;  // -1 when the lower line is no record line
  bool IsValid() const { return !strName.isEmpty() && nPosition >= 0; }
};
SRecordSelection ParseRecordSelection(QStringView upperOwnText, QStringView lowerOwnText);

// "0x%04x": lower-case hexadecimal, at least four digits.
QString FormatHex4(std::uint32_t value);

// A line as the trace channel takes it.
inline std::u16string_view TraceView(const QString& line) {
  return {QStringView(line).utf16(), std::size_t(line.size())};
}

}  // namespace zef
