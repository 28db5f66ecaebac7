// Who sent the monitor's lines, and the calls each sender has open.
//
// A sender is the monitor itself (kSelf: its tools' own lines) or one trace
// connection (the window server's peer id). Each sender's calls are matched
// by its own nesting: a line of that sender holding '{' opens a call, and its
// next line holding '}' ends the innermost call it has open, whatever other
// senders wrote in between. The list's shared indentation is not consulted,
// so two programs tracing at once still get their own durations.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace zef {

struct SPeer;

class CSenders {
 public:
  static constexpr std::uint32_t kSelf = 0;
  // Open calls remembered per sender with their names and times, from the
  // outermost on. A sender nesting deeper has its innermost
  // kMaxListedCalls / 2 calls remembered as well and those between counted
  // only: their leave lines get no duration.
  static constexpr int kMaxOpenCalls = 10000;
  // Characters of a call's name kept for the "ended inside" line.
  static constexpr int kMaxCallName = 80;
  // Names listed in one "ended inside" line: the outermost and the innermost
  // halves of them, with a count of those left out between.
  static constexpr int kMaxListedCalls = 16;
  static_assert(kMaxOpenCalls >= kMaxListedCalls);

  CSenders();

  // Names sender `id` for the gutter; an id seen for the first time is
  // registered, a known one renamed (its lines so far show the new label
  // too). `told`: the label holds what the sender told of itself. Returns
  // whether the label is now wider (in characters) than any before it.
  bool Meet(std::uint32_t id, const QString& label, bool told = false);
  // Whether sender `id` was met and has not ended.
  bool Knows(std::uint32_t id) const { return m_senders.count(id) != 0; }
  // Whether sender `id` was named from what it told of itself.
  bool KnowsAsTold(std::uint32_t id) const;
  // What a line of sender `id` keeps in its stamp to be named by Label(): a
  // small number, the same for all lines of one sender, kSelf for the
  // monitor's own. A sender never met is met as "?".
  std::uint32_t LabelKey(std::uint32_t id);
  // The label of the lines whose stamp holds `key`; "?" for a key not
  // handed out.
  QString Label(std::uint32_t key) const;
  // Changes whenever a key comes to name another label (a sender renamed,
  // keys handed out anew): what was worked out from a key's label before
  // may be stale.
  std::uint64_t LabelsVersion() const { return m_nLabelsVersion; }
  // The widest label met, in characters.
  int WidestLabel() const { return m_nWidestLabel; }

  // A line of sender `id` (met before, or it is met as "?") taken in at
  // `time` (microseconds), holding '}' (`closes`) and/or '{' (`opens`), as
  // the nesting rules judged it. Returns the duration of the call it ends,
  // or -1 when it ends none that this sender opened and timed.
  std::int64_t Take(std::uint32_t id, QStringView line, bool closes, bool opens, std::int64_t time);

  // Sender `id` went away. Returns the monitor's line that names it and the
  // calls it left open, innermost last ("name[pid] ended inside: Load() >
  // Parse()"), or an empty string when it had none open. Its record is
  // freed: only its label stays, for the lines it wrote.
  QString End(std::uint32_t id);
  // The list was emptied: the labels of senders that went away are freed,
  // and label keys are handed out anew (stamps from before mean nothing).
  void ForgetGone();

  // Open calls of sender `id` (named ones and counted ones).
  int OpenCalls(std::uint32_t id) const;

 private:
  struct SCall {
    std::int64_t nTime;
    QString strName;
  };
  struct SSender {
    std::uint32_t nKey = 0;
    // The open calls, outermost first: vCalls holds up to kMaxOpenCalls of
    // them; only once it is full do calls beyond it go to vInner, the
    // innermost ones, of which all but the last kMaxListedCalls / 2 are
    // pushed out into the count between (nUncounted). So vInner and
    // nUncounted are empty while vCalls has room.
    std::vector<SCall> vCalls;
    std::vector<SCall> vInner;
    int nUncounted = 0;
    bool bTold = false;

    int Open() const { return int(vCalls.size() + vInner.size()) + nUncounted; }
    // The name of open call `i` (0: the outermost), or null for one only
    // counted.
    const QString* NameAt(int i) const;
  };

  SSender& Find(std::uint32_t id);
  // Stores `label` for key `key` (a new key when it equals the count of
  // keys); the bytes of a label it replaces stay until ForgetGone.
  void SetLabel(std::uint32_t key, const QString& label);
  static QString EndedInside(const SSender& sender);

  // Senders met that have not ended.
  std::unordered_map<std::uint32_t, SSender> m_senders;
  // The sender of the last line: lines come in runs from one sender.
  std::uint32_t m_nLastId = kSelf;
  SSender* m_pLast = nullptr;
  // Every label a key names, ended senders' too, as UTF-8 after a length
  // (7 bits a byte, least first) in one buffer: a gone sender costs its
  // label's bytes and the offset of them here.
  std::vector<char> m_vLabels;
  std::vector<std::uint32_t> m_vLabelAt;  // per key
  int m_nWidestLabel = 0;
  std::uint64_t m_nLabelsVersion = 0;
};

// How a trace connection is named in the gutter and in its "ended inside"
// line: "program[pid]" from the socket's peer, and when the client told who
// it is and that differs (it came through a relay: ssh, a container's
// socket mount), what it told in guillemets: "ssh[880] «build01:
// worker[31]»". `localHost` is this machine's host name.
QString SenderLabel(const SPeer& peer, const QString& localHost);

// What a label or a call name must not carry into a line of the monitor:
// what ShownText keeps from acting, and braces ('{' becomes '(', '}' ')'),
// which would change the nesting of every line after it.
QString PlainText(QStringView text);

// The name of the call an enter line opens, as the "ended inside" line
// lists it: the line without its leading '}' (of "} else {"), its trailing
// '{' and the white space around them.
QString CallNameOfEnterLine(QStringView enterLine);

}  // namespace zef
