// The one way a line enters the monitor: "this line, from this peer" (or
// from the monitor itself). It writes the log file when that is on, names a
// peer at its first line (and again once it told who it is), adds the line
// to the list under its sender (nesting, time, the sender's calls) and,
// while following is on, lets the follower keep it in view; otherwise it
// scrolls to it unless quick draw is on. When a connection ends, it adds the
// line that names the calls the peer left open.
#pragma once

#include "monitor/logfile.h"
#include "monitor/monitorsettings.h"

#include <QString>

#include <cstdint>

namespace zef {

class CMonitorList;
struct SPeer;

class CLineIntake {
 public:
  // `list` and `settings` must outlive the intake; the settings are read at
  // each line, so a change applies from the next one on.
  CLineIntake(CMonitorList& list, const CMonitorSettings& settings);

  // A line of `peer` (a trace client), or of the monitor itself when null.
  void AddLine(const QString& line, const SPeer* peer);
  // A line of one of the monitor's other sources (a followed file, ...):
  // `senderId` at or above kFirstSourceId (platform/window/peer.h), named
  // `label` at its first line; `timeUs` the line's time in microseconds
  // since the epoch, 0 for now. It takes the road of every other line: log,
  // drop rules, stamp, following.
  void AddSourceLine(const QString& line, std::uint32_t senderId, const QString& label, std::int64_t timeUs = 0);
  // Connection `peerId` ended (the window server's PeerGone): when it left
  // calls open, a line of the monitor's own says which.
  void PeerGone(std::uint32_t peerId);

 private:
  std::uint32_t Meet(const SPeer& peer);
  // Whether the log file got the line.
  bool Log(const QString& line);
  // What every line does after its sender is known.
  void Take(const QString& line, std::uint32_t sender, std::int64_t timeUs);

  CMonitorList& m_list;
  const CMonitorSettings& m_settings;
  CLogFile m_logFile;
};

}  // namespace zef
