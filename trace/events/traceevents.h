// Trace lines as a trace event file (the JSON object form with
// "traceEvents", as trace viewers open it), written as the lines come: the
// monitor's Export calls and `zeftrace --export-trace` both use it, so it
// needs neither Qt nor the monitor.
//
//   CCallTraceExport out([&](std::string_view bytes) { return Write(bytes); });
//   out.NameSender(1, u"app[42]");
//   out.AddLine(1, 1700000000000000, u"Load() {");
//   out.AddLine(1, 1700000000002000, u"} Load() (0)", 2000);
//   bool written = out.Finish();
//
// Each sender is a process (pid = sender + 1, one thread of the same id)
// named by a "process_name" metadata event. Its lines become events in the
// order given, which must be its time order: a line holding '}' ends the
// sender's innermost open call with an "E" (its text in args.line when it
// says more than "} Name()"), a line holding '{' begins one with a "B"
// named as the line names it, and any other line is an instant event ("i",
// thread scope) named by its text. A leave line that finds none of its
// sender's calls open began before the lines handed over: with a duration
// it is a complete event ("X") reaching back that far, without one an
// instant. Finish ends every call still open with an "E" at its sender's
// last line, args.note saying so, so that B and E balance per process.
//
// Times are microseconds ("ts"). Text is escaped for JSON (quote,
// backslash, control characters as \u00XX) and written as UTF-8; a lone
// surrogate becomes U+FFFD. Bytes go to the sink in blocks of about 64 KB:
// memory stays the same however many lines pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zef {

class CTraceEventWriter {
 public:
  // Takes the next bytes of the file; false stops the writer for good.
  using Sink = std::function<bool(std::string_view bytes)>;

  explicit CTraceEventWriter(Sink sink);

  // One event. `argName` (empty: no args) names the one argument, whose
  // value is `argValue`.
  void Metadata(std::uint32_t pid, std::string_view what, std::u16string_view name);
  void Begin(std::uint32_t pid, std::int64_t ts, std::u16string_view name);
  void End(std::uint32_t pid, std::int64_t ts, std::string_view argName = {}, std::u16string_view argValue = {});
  void Complete(std::uint32_t pid, std::int64_t ts, std::int64_t duration, std::u16string_view name,
                std::string_view argName = {}, std::u16string_view argValue = {});
  void Instant(std::uint32_t pid, std::int64_t ts, std::u16string_view name);
  // Closes the file's array and object and hands over what is left.
  // Returns whether every byte was taken.
  bool Finish();
  bool Failed() const { return m_bFailed; }

 private:
  void Open(std::uint32_t pid, char phase);
  // `,"key":value` and `,"name":"…"`.
  void Field(std::string_view key, std::int64_t value);
  void Name(std::u16string_view name);
  void Args(std::string_view argName, std::u16string_view argValue);
  void Close();
  void Flush();

  Sink m_sink;
  std::string m_strBlock;
  bool m_bFirst = true;
  bool m_bFailed = false;
};

// Appends `text` to `out` as the body of a JSON string: UTF-8, with '"',
// '\' and every character below U+0020 escaped (\u00XX), a lone surrogate
// as U+FFFD.
void AppendJsonString(std::u16string_view text, std::string* out);

class CCallTraceExport {
 public:
  explicit CCallTraceExport(CTraceEventWriter::Sink sink);

  // Names sender `sender`'s process; before its first line.
  void NameSender(std::uint32_t sender, std::u16string_view label);
  // The sender's next line, its own text (no indent), taken in at `ts`;
  // `span`: the duration its stamp holds when it leaves a call (-1: none).
  void AddLine(std::uint32_t sender, std::int64_t ts, std::u16string_view text, std::int64_t span = -1);
  // Ends the calls still open and the file; whether every byte was taken.
  bool Finish();

 private:
  struct SSender {
    std::int64_t nFirstTs = 0;
    std::int64_t nLastTs = 0;
    std::int64_t nOpen = 0;  // calls begun and not yet ended
  };
  SSender& Find(std::uint32_t sender, std::int64_t ts);

  CTraceEventWriter m_writer;
  std::unordered_map<std::uint32_t, SSender> m_senders;
};

namespace events {

// The name of the call an enter line opens: the line without its leading
// '}' (of "} else {"), its trailing '{' and the white space around them,
// as the monitor's CallNameOfEnterLine names it.
std::u16string_view CallNameOfEnterLine(std::u16string_view enterLine);
// The name a leave line gives its call: without the white space and '}'
// before it, up to its first ')' when it has one ("} Load() (0)" gives
// "Load()"), without a trailing '{' ("} else {" gives "else").
std::u16string_view CallNameOfLeaveLine(std::u16string_view leaveLine);

}  // namespace events

}  // namespace zef
