// Drives the transport's two ends as real processes: zef_trace_testhost,
// a stand-in monitor serving its windows with CWindowServer, and
// zef_trace_testclient, a program linking the trace library (see their
// usage). A test including this is added with zef_add_transport_test, which
// defines where the programs are (ZEF_TESTHOST, ZEF_TESTCLIENT, ZEF_RELAY,
// ZEF_CLI). Each test runs in an XDG_RUNTIME_DIR of its own (CTransportTest),
// so no real monitor is disturbed or reached.
#pragma once

#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <map>
#include <memory>

namespace zef::test {

inline constexpr int kTimeoutMs = 60000;

// Reads a process's stdout until a line starting with `prefix` arrives.
inline QString WaitForLine(QProcess& process, QByteArray& seen, const QByteArray& prefix) {
  for (;;) {
    int from = 0;
    for (int eol; (eol = int(seen.indexOf('\n', from))) >= 0; from = eol + 1) {
      const QByteArray line = seen.mid(from, eol - from);
      if (line.startsWith(prefix)) {
        seen.remove(0, eol + 1);
        return QString::fromUtf8(line);
      }
    }
    if (!process.waitForReadyRead(kTimeoutMs)) return {};
    seen += process.readAllStandardOutput();
  }
}

class CHost {
 public:
  explicit CHost(const QProcessEnvironment& env) { m_process.setProcessEnvironment(env); }
  ~CHost() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.write("quit\n");
      if (!m_process.waitForFinished(5000)) m_process.kill();
      m_process.waitForFinished();
    }
  }
  // The first line: "READY <socket>" or "ERROR <text>".
  QString Start(const QStringList& args = {}) {
    m_process.start(QStringLiteral(ZEF_TESTHOST), args);
    if (!m_process.waitForStarted()) return {};
    return WaitForLine(m_process, m_seen, "");
  }
  QStringList Lines() {
    m_process.write("dump\n");
    QStringList lines;
    for (;;) {
      const QString line = WaitForLine(m_process, m_seen, "");
      if (line.isEmpty() || line == QStringLiteral("END")) return lines;
      if (line.startsWith(QStringLiteral("LINE "))) lines.append(line.mid(5));
    }
  }
  QString WaitFor(const QByteArray& prefix) { return WaitForLine(m_process, m_seen, prefix); }
  // "STATS <clients> <buffered bytes> <drops> <rss KiB>" as numbers.
  QList<qint64> Stats() {
    Send("stats");
    QList<qint64> numbers;
    for (const QString& word : WaitFor("STATS").mid(6).split(u' ')) numbers.append(word.toLongLong());
    return numbers;
  }
  int Count() {
    Send("count");
    return WaitFor("COUNT").mid(6).toInt();
  }
  // Each line with the id of the peer it came from (0: none).
  QList<QPair<quint32, QString>> PeerLines() {
    Send("peerlines");
    QList<QPair<quint32, QString>> lines;
    for (;;) {
      const QString line = WaitForLine(m_process, m_seen, "");
      if (line.isEmpty() || line == QStringLiteral("END")) return lines;
      if (!line.startsWith(QStringLiteral("PLINE "))) continue;
      const qsizetype tab = line.indexOf(u'\t');
      lines.append({line.mid(6, tab - 6).toUInt(), line.mid(tab + 1)});
    }
  }
  // The peer as last seen with a line: id, pid, name, told (0/1), told
  // host, told pid, told name; empty when none was.
  QStringList Peer(quint32 id) {
    Send("peer " + QByteArray::number(id));
    const QString line = WaitFor("PEER ");
    return line.endsWith(QStringLiteral(" none")) ? QStringList() : line.mid(5).split(u'\t');
  }
  // Each PeerGone so far: id, lines taken before it, whether a peer was current.
  QList<QList<qint64>> Gone() {
    Send("gone");
    QList<QList<qint64>> gone;
    for (;;) {
      const QString line = WaitForLine(m_process, m_seen, "");
      if (line.isEmpty() || line == QStringLiteral("END")) return gone;
      if (!line.startsWith(QStringLiteral("GONE "))) continue;
      QList<qint64> numbers;
      for (const QString& word : line.mid(5).split(u' ')) numbers.append(word.toLongLong());
      gone.append(numbers);
    }
  }
  QProcess& Process() { return m_process; }
  void Send(const QByteArray& command) {
    m_process.write(command + '\n');
    m_process.waitForBytesWritten(kTimeoutMs);  // now, not when this process next waits on the host
  }

 private:
  QProcess m_process;
  QByteArray m_seen;
};

inline std::unique_ptr<QProcess> StartClient(const QProcessEnvironment& env, const QStringList& args) {
  auto client = std::make_unique<QProcess>();
  client->setProcessEnvironment(env);
  client->start(QStringLiteral(ZEF_TESTCLIENT), args);
  client->waitForStarted();
  return client;
}

inline QString HostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return QString::fromUtf8(name);
}

// The one peer id of the lines for which `belongs` holds; 0 when there are
// none or they came from more than one peer.
template <typename F>
inline quint32 PeerOf(const QList<QPair<quint32, QString>>& lines, F belongs) {
  quint32 id = 0;
  for (const auto& [peer, text] : lines) {
    if (!belongs(text)) continue;
    if (id != 0 && peer != id) return 0;
    id = peer;
  }
  return id;
}

inline bool Finish(QProcess& client) {
  return client.waitForFinished(kTimeoutMs) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}

inline bool FinishWith(QProcess& process, int status) {
  return process.waitForFinished(kTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == status;
}

inline std::unique_ptr<QProcess> StartZeftrace(const QProcessEnvironment& env, const QStringList& args = {}) {
  auto cli = std::make_unique<QProcess>();
  cli->setProcessEnvironment(env);
  cli->start(QStringLiteral(ZEF_CLI), args);
  cli->waitForStarted();
  return cli;
}

inline QByteArray NumberedLines(const char* prefix, int from, int to) {
  QByteArray lines;
  for (int k = from; k <= to; ++k) lines += prefix + QByteArray::number(k) + '\n';
  return lines;
}

// Every line of `lines` matches `form` (sender, number); each sender's
// numbers run 1, 2, 3, ... to `count`: nothing lost, doubled or reordered.
inline bool EachSenderInOrder(const QStringList& lines, const QRegularExpression& form, int senders, int count) {
  std::map<QString, int> last;
  for (const QString& line : lines) {
    const auto match = form.match(line);
    if (!match.hasMatch() || match.captured(2).toInt() != ++last[match.captured(1)]) {
      qWarning("out of order or unexpected: %s", qPrintable(line));
      return false;
    }
  }
  if (int(last.size()) != senders) return false;
  for (const auto& [sender, n] : last)
    if (n != count) return false;
  return true;
}

// The base of a test class: a socket folder of its own for each test.
class CTransportTest : public QObject {
 protected:
  // Call from init().
  void NewRuntimeDir() {
    m_pRuntime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pRuntime->isValid());
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_pRuntime->path());
  }

  std::unique_ptr<QTemporaryDir> m_pRuntime;
  QProcessEnvironment m_env;
};

}  // namespace zef::test
