// A virtual X server of the caller's own, so that what a test or benchmark
// puts on the display (a stand-in window manager's root properties, a
// thousand windows) meets no one else's windows and outlives no run.
#pragma once

#include <QProcess>
#include <QString>

namespace zef::test {

class CXvfb {
 public:
  CXvfb() = default;
  ~CXvfb() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    m_process.waitForFinished(10000);
  }
  CXvfb(const CXvfb&) = delete;
  CXvfb& operator=(const CXvfb&) = delete;

  // Starts the server on a free display; false (with `why`) when it does not
  // come up.
  bool Start(QString* why) {
    m_process.setStandardErrorFile(QProcess::nullDevice());
    // -displayfd picks a free display and writes its number once the server
    // accepts connections.
    m_process.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
         QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_process.waitForStarted(10000)) {
      *why = QStringLiteral("Xvfb cannot be started: ") + m_process.errorString();
      return false;
    }
    while (!m_process.canReadLine()) {
      if (!m_process.waitForReadyRead(20000)) {
        *why = QStringLiteral("Xvfb did not report its display");
        return false;
      }
    }
    m_strDisplay = QLatin1Char(':') + QString::fromLatin1(m_process.readLine().trimmed());
    return true;
  }

  // ":N"
  const QString& Display() const { return m_strDisplay; }

 private:
  QProcess m_process;
  QString m_strDisplay;
};

}  // namespace zef::test
