// Who is on the other end of one connection of the window server: the
// process the socket names (its credentials, and its program as /proc showed
// it when it connected) and what the client told of itself (kMsgIdentify).
// The two differ when the client comes through a relay, an ssh forward of the
// socket or a container's runtime: the peer is then the relay.
//
// Everything told is untrusted text of another process; it is bounded and
// cleaned here before anything shows it.
#pragma once

#include <QString>
#include <QStringView>

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zef {

struct SPeer {
  std::uint32_t nId = 0;  // 1, 2, ... in the order clients connected; never reused while the server lives
  pid_t nPid = 0;         // the process on the other end of the socket (SO_PEERCRED)
  QString strName;        // its program name, read from /proc when it connected; "?" when unreadable
  bool bTold = false;     // the client said who it is (it may be behind a relay)
  QString strToldHost;
  qint64 nToldPid = 0;  // 0 when not told or not a valid pid
  QString strToldName;
};

// Sender ids from here up belong to the monitor's other sources (a followed
// file, ...): the window server hands out peer ids below it only, so a
// source's lines and a connection's never share a sender.
inline constexpr std::uint32_t kFirstSourceId = 0xFFFF0000u;

// The most UTF-16 units kept of a host or program name.
inline constexpr qsizetype kMaxPeerTextUnits = 64;
// The largest process id the kernel can hand out (PID_MAX_LIMIT).
inline constexpr qint64 kMaxPid = 4194304;

// `text` made fit to show on one line: surrounding white space trimmed, cut
// to kMaxPeerTextUnits (never inside a surrogate pair), then shown as
// ShownText shows other programs' text (platform/system/textunits.h), a tab
// too made U+FFFD, so nothing in it can break, reorder or hide a line or a
// column shown beside others.
// Copies no more than the kept part, however long `text` is.
QString CleanPeerText(QStringView text);

// A told pid: decimal digits only, 1 to kMaxPid; anything else is 0.
qint64 ParseToldPid(QStringView text);

// Takes the text of a kMsgIdentify ("host\npid\nprogram") into the told
// fields of `peer`. Not three fields: nothing is taken and bTold stays false.
void TakeToldIdentity(QStringView text, SPeer* peer);

// The program name of the process whose /proc directory is `procDir`: the
// base name of its executable (without the " (deleted)" the kernel adds for a
// removed file), else its command name, else "?". Cleaned as told texts are,
// since a file name may hold any byte. Reads a bounded amount.
QString ReadPeerName(const std::string& procDir);
QString ReadPeerName(pid_t pid);

}  // namespace zef
