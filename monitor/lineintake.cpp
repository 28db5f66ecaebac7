#include "monitor/lineintake.h"

#include "monitor/monitorlist.h"
#include "platform/window/peer.h"

#include <QDir>
#include <QSysInfo>

namespace zef {

CLineIntake::CLineIntake(CMonitorList& list, const CMonitorSettings& settings) : m_list(list), m_settings(settings) {}

void CLineIntake::AddLine(const QString& line, const SPeer* peer) {
  Take(line, peer ? Meet(*peer) : CSenders::kSelf, 0);
}

void CLineIntake::AddSourceLine(const QString& line, std::uint32_t senderId, const QString& label,
                                std::int64_t timeUs) {
  // A label from outside (a file's name) is shown as a peer's text is.
  if (!m_list.Senders().Knows(senderId)) m_list.MeetSender(senderId, PlainText(label));
  Take(line, senderId, timeUs);
}

void CLineIntake::Take(const QString& line, std::uint32_t sender, std::int64_t timeUs) {
  const bool logged = m_settings.m_bLogToFile && Log(line);
  m_list.AddLine(line, sender, logged, timeUs);
  // Following decides while it is on; otherwise quick draw does.
  if (m_settings.m_bFollow) m_list.Follower().LinesAdded();
  else if (!m_settings.m_bQuickDraw) m_list.ScrollToEnd();
}

void CLineIntake::PeerGone(std::uint32_t peerId) {
  const QString line = m_list.Senders().End(peerId);
  if (!line.isEmpty()) AddLine(line, nullptr);
}

std::uint32_t CLineIntake::Meet(const SPeer& peer) {
  // Named at its first line, and again should it tell who it is only after
  // that.
  const CSenders& senders = m_list.Senders();
  if (!senders.Knows(peer.nId) || (peer.bTold && !senders.KnowsAsTold(peer.nId))) {
    static const QString host = QSysInfo::machineHostName();
    m_list.MeetSender(peer.nId, SenderLabel(peer, host), peer.bTold);
  }
  return peer.nId;
}

bool CLineIntake::Log(const QString& line) {
  // Why a record failed goes to standard error, once per distinct failure.
  const SLogRotation rotation{m_settings.LogRotateBytes(), m_settings.m_nLogKeep};
  switch (m_logFile.Append(ResolveLogFilePath(m_settings.m_strLogFile, QDir::homePath()), line, rotation)) {
    case LogWrite::Written:
      return true;
    case LogWrite::WrittenNotRotated:
      m_list.AddString(QStringLiteral("Failed to start a new log file, logging goes on in the old one!"));
      return true;
    case LogWrite::OpenFailed:
      m_list.AddString(QStringLiteral("FATAL: Failed to open log file!"));
      break;
    case LogWrite::WriteFailed:
      // The file opened but the record did not reach it (disk full, ...):
      // say so rather than lose the line from the log silently.
      m_list.AddString(QStringLiteral("FATAL: Failed to write log file!"));
      break;
  }
  return false;
}

}  // namespace zef
