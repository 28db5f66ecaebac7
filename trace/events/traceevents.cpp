#include "trace/events/traceevents.h"

#include "utf/utf.h"

#include <algorithm>
#include <charconv>

namespace zef {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

// White space as the monitor trims it: the ASCII controls \t .. \r, the
// space separators, and the line and paragraph separators.
bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string_view WithoutLeadingBraces(std::u16string_view text) {
  while (!text.empty() && (text.front() == u'}' || IsSpace(text.front()))) text.remove_prefix(1);
  return text;
}

std::u16string_view WithoutTrailingBraces(std::u16string_view text) {
  while (!text.empty() && (text.back() == u'{' || IsSpace(text.back()))) text.remove_suffix(1);
  return text;
}

void AppendNumber(std::int64_t value, std::string* out) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out->append(digits, end);
}

bool Holds(std::u16string_view text, char16_t c) { return text.find(c) != std::u16string_view::npos; }

}  // namespace

namespace events {

std::u16string_view CallNameOfEnterLine(std::u16string_view enterLine) {
  return WithoutTrailingBraces(WithoutLeadingBraces(Trimmed(enterLine)));
}

std::u16string_view CallNameOfLeaveLine(std::u16string_view leaveLine) {
  std::u16string_view name = WithoutLeadingBraces(Trimmed(leaveLine));
  const std::size_t paren = name.find(u')');
  if (paren != std::u16string_view::npos) name = name.substr(0, paren + 1);
  return WithoutTrailingBraces(name);
}

}  // namespace events

void AppendJsonString(std::u16string_view text, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t unit = text[i];
    if (unit >= 0x20 && unit < 0x80 && unit != u'"' && unit != u'\\') {
      out->push_back(char(unit));
      ++i;
    } else if (unit < 0x20) {
      const char escape[] = {'\\', 'u', '0', '0', kHex[unit >> 4], kHex[unit & 0xF]};
      out->append(escape, sizeof escape);
      ++i;
    } else if (unit == u'"' || unit == u'\\') {
      out->push_back('\\');
      out->push_back(char(unit));
      ++i;
    } else {
      const char32_t c = utf::NextCodePoint(text, &i);
      utf::AppendUtf8(utf::IsSurrogate(c) ? utf::kReplacement : c, out);
    }
  }
}

CTraceEventWriter::CTraceEventWriter(Sink sink) : m_sink(std::move(sink)) {
  m_strBlock.reserve(kBlock + 4096);
  m_strBlock = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[";
}

void CTraceEventWriter::Open(std::uint32_t pid, char phase) {
  m_strBlock += m_bFirst ? "\n{\"ph\":\"" : ",\n{\"ph\":\"";
  m_bFirst = false;
  m_strBlock += phase;
  m_strBlock += '"';
  Field("pid", pid);
  Field("tid", pid);
}

void CTraceEventWriter::Args(std::string_view argName, std::u16string_view argValue) {
  if (argName.empty()) return;
  m_strBlock += ",\"args\":{\"";
  m_strBlock += argName;
  m_strBlock += "\":\"";
  AppendJsonString(argValue, &m_strBlock);
  m_strBlock += "\"}";
}

void CTraceEventWriter::Close() {
  m_strBlock += '}';
  if (m_strBlock.size() >= kBlock) Flush();
}

void CTraceEventWriter::Flush() {
  if (!m_bFailed && !m_strBlock.empty() && !m_sink(m_strBlock)) m_bFailed = true;
  m_strBlock.clear();
}

void CTraceEventWriter::Metadata(std::uint32_t pid, std::string_view what, std::u16string_view name) {
  Open(pid, 'M');
  m_strBlock += ",\"name\":\"";
  m_strBlock += what;
  m_strBlock += '"';
  Args("name", name);
  Close();
}

void CTraceEventWriter::Field(std::string_view key, std::int64_t value) {
  m_strBlock += ",\"";
  m_strBlock += key;
  m_strBlock += "\":";
  AppendNumber(value, &m_strBlock);
}

void CTraceEventWriter::Name(std::u16string_view name) {
  m_strBlock += ",\"name\":\"";
  AppendJsonString(name, &m_strBlock);
  m_strBlock += '"';
}

void CTraceEventWriter::Begin(std::uint32_t pid, std::int64_t ts, std::u16string_view name) {
  Open(pid, 'B');
  Field("ts", ts);
  Name(name);
  Close();
}

void CTraceEventWriter::End(std::uint32_t pid, std::int64_t ts, std::string_view argName,
                            std::u16string_view argValue) {
  Open(pid, 'E');
  Field("ts", ts);
  Args(argName, argValue);
  Close();
}

void CTraceEventWriter::Complete(std::uint32_t pid, std::int64_t ts, std::int64_t duration, std::u16string_view name,
                                 std::string_view argName, std::u16string_view argValue) {
  Open(pid, 'X');
  Field("ts", ts);
  Field("dur", duration);
  Name(name);
  Args(argName, argValue);
  Close();
}

void CTraceEventWriter::Instant(std::uint32_t pid, std::int64_t ts, std::u16string_view name) {
  Open(pid, 'i');
  m_strBlock += ",\"s\":\"t\"";  // thread scope
  Field("ts", ts);
  Name(name);
  Close();
}

bool CTraceEventWriter::Finish() {
  m_strBlock += "\n]}\n";
  Flush();
  return !m_bFailed;
}

CCallTraceExport::CCallTraceExport(CTraceEventWriter::Sink sink) : m_writer(std::move(sink)) {}

void CCallTraceExport::NameSender(std::uint32_t sender, std::u16string_view label) {
  m_writer.Metadata(sender + 1, "process_name", label);
  m_writer.Metadata(sender + 1, "thread_name", label);
}

CCallTraceExport::SSender& CCallTraceExport::Find(std::uint32_t sender, std::int64_t ts) {
  const auto [it, added] = m_senders.try_emplace(sender);
  if (added) it->second.nFirstTs = ts;
  it->second.nLastTs = ts;
  return it->second;
}

void CCallTraceExport::AddLine(std::uint32_t sender, std::int64_t ts, std::u16string_view text, std::int64_t span) {
  SSender& calls = Find(sender, ts);
  const std::uint32_t pid = sender + 1;
  const bool closes = Holds(text, u'}');
  const bool opens = Holds(text, u'{');
  // '}' before '{', as the monitor's nesting counts them: "} else {" ends
  // one call and begins the next.
  if (closes) {
    const std::u16string_view name = events::CallNameOfLeaveLine(text);
    const std::u16string_view trimmed = Trimmed(text);
    // What the leave line says beyond "} Name": a result, for one.
    const bool saysMore = trimmed.size() > name.size() + 2 && !opens;
    if (calls.nOpen > 0) {
      --calls.nOpen;
      m_writer.End(pid, ts, saysMore ? "line" : "", trimmed);
    } else if (span >= 0) {
      // Begun before the first line handed over: as far back as its
      // duration, and never after an earlier line of the sender, which
      // lies inside it.
      const std::int64_t begin = std::min(ts - span, calls.nFirstTs);
      m_writer.Complete(pid, begin, ts - begin, name, "note", u"entered before the exported lines");
    } else if (!opens) {
      m_writer.Instant(pid, ts, trimmed);
    }
  }
  if (opens) {
    ++calls.nOpen;
    m_writer.Begin(pid, ts, events::CallNameOfEnterLine(text));
  }
  if (!closes && !opens) m_writer.Instant(pid, ts, text);
}

bool CCallTraceExport::Finish() {
  // Innermost first, each at its sender's last line.
  for (const auto& [sender, calls] : m_senders)
    for (std::int64_t i = 0; i < calls.nOpen; ++i)
      m_writer.End(sender + 1, calls.nLastTs, "note", u"still open at the sender's last line");
  return m_writer.Finish();
}

}  // namespace zef
