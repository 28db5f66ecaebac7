// The value syntax of zefdb: TYPE:TEXT, one property each.
#pragma once

#include <zefstore/propbuffer.h>

#include <string>
#include <string_view>
#include <vector>

namespace zef::store::tool {

// Parses one value into `value` (reusing its storage). False with a reason
// in `error` for an unknown type, a number that does not fit its type,
// malformed hex or time, or text that is not UTF-8.
bool ParseValue(std::string_view text, SPropValue* value, std::string* error);

// Splits an import line into its values: runs of blanks (space, tab)
// separate them; a str: value whose text starts with a double quote runs to
// the closing quote, with \" \\ \t \n \r inside. The values are views into
// the line, or for quoted strings into the splitter's own storage, valid
// until the next Split.
class CLineSplitter {
 public:
  // False with a reason for an unclosed quote, a bad escape, or more than
  // kMaxProperties values.
  bool Split(std::string_view line, std::string* error);
  const std::vector<std::string_view>& Values() const { return m_values; }

 private:
  std::vector<std::string_view> m_values;
  std::vector<std::string> m_unquoted;
  std::vector<std::size_t> m_quotedAt;  // which values are in m_unquoted
};

// Seconds since 1970-01-01 UTC, or an ISO 8601 UTC time "YYYY-MM-DDTHH:MM:SS[Z]"
// (or with a blank instead of the T), as a file time.
bool ParseTime(std::string_view text, std::uint64_t* fileTime);

}  // namespace zef::store::tool
