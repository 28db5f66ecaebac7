// What the toolbox reads back out of a selected monitor line: the process
// id of a process line, the handle of a window line. Any line counts whose
// key is past its first column and followed by a comma, whichever command
// wrote it.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string_view>

namespace zef {

// The number between `key` and the first ',' after it, read in base 16 as
// wcstoul reads it (leading blanks skipped, "0x" or "0X" accepted, stops at
// the first character that is no hexadecimal digit; a value beyond 32 bits
// gives 0xffffffff). 0 when the key is missing or starts the line, when no
// comma follows it or the comma follows it at once.
std::uint32_t IdAfterKey(QStringView line, QStringView key);

// "pid=" of a process line; 0 when the line names no process.
std::uint32_t ProcessIdOfLine(QStringView line);
// "hwnd=" of a window line; 0 when the line names no window.
std::uint32_t WindowHandleOfLine(QStringView line);

// "0x%04x": lower-case hexadecimal, at least four digits.
QString FormatHex4(std::uint32_t value);

// A line as the trace channel takes it.
inline std::u16string_view TraceView(const QString& line) {
  return {QStringView(line).utf16(), std::size_t(line.size())};
}

}  // namespace zef
