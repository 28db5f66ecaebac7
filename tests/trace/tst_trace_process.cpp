// The trace channel between real processes: the stand-in monitor
// (zef_trace_testhost, serving its windows with CWindowServer) and programs
// linking the trace library (zef_trace_testclient). Every test runs in its
// own XDG_RUNTIME_DIR, so no real monitor is disturbed or reached.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
#include <memory>

namespace {

constexpr int kTimeoutMs = 60000;

// Reads a process's stdout until a line starting with `prefix` arrives.
QString WaitForLine(QProcess& process, QByteArray& seen, const QByteArray& prefix) {
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
  QProcess& Process() { return m_process; }
  void Send(const QByteArray& command) { m_process.write(command + '\n'); }

 private:
  QProcess m_process;
  QByteArray m_seen;
};

std::unique_ptr<QProcess> StartClient(const QProcessEnvironment& env, const QStringList& args) {
  auto client = std::make_unique<QProcess>();
  client->setProcessEnvironment(env);
  client->start(QStringLiteral(ZEF_TESTCLIENT), args);
  client->waitForStarted();
  return client;
}

bool Finish(QProcess& client) {
  return client.waitForFinished(kTimeoutMs) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}

}  // namespace

class TestTraceTransport : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pRuntime;
  QProcessEnvironment m_env;

 private Q_SLOTS:
  void init() {
    m_pRuntime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pRuntime->isValid());
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_pRuntime->path());
  }

  void nestedLinesArriveInOrder() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("nested")});
    QVERIFY(Finish(*client));
    const QStringList expected{
        QStringLiteral("Outer() {"),        QStringLiteral("free text"),
        QStringLiteral("Inner() {"),        QStringLiteral("last error: 0x0005"),
        QStringLiteral("} Inner() (0)"),    QStringLiteral("Empty() {"),
        QStringLiteral("} Empty()"),        QString::fromUtf16(u"name=\u00e4\U0001F600"),
        QStringLiteral("} Outer()")};
    QCOMPARE(host.Lines(), expected);
    // The mirror has every line, each ended by "\n".
    QCOMPARE(QString::fromUtf8(client->readAllStandardError()), expected.join(u'\n') + u'\n');
  }

  void monitorStartedAfterTheFirstLineIsNeverReached() {
    auto client = StartClient(m_env, {QStringLiteral("late")});
    QByteArray seen;
    QCOMPARE(WaitForLine(*client, seen, "WAITING"), QStringLiteral("WAITING"));
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    client->write("go\n");
    QVERIFY(Finish(*client));
    QCOMPARE(host.Lines(), QStringList());
    QCOMPARE(client->readAllStandardError(), QByteArray("early\nlate 1\nlate 2\n"));
  }

  void concurrentClientsDeliverEveryLineOnceInOrder() {
    constexpr int kClients = 8, kLines = 5000;
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.push_back(StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QString::number(kLines)}));
      clients.back()->setStandardErrorFile(QProcess::nullDevice());
    }
    for (auto& client : clients) QVERIFY(Finish(*client));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), kClients * kLines);
    const QRegularExpression form(QStringLiteral("^client (\\d+) line (\\d+)$"));
    std::map<int, int> last;
    for (const QString& line : lines) {
      const auto match = form.match(line);
      QVERIFY2(match.hasMatch(), qPrintable(line));
      const int c = match.captured(1).toInt();
      const int k = match.captured(2).toInt();
      QCOMPARE(k, last[c] + 1);
      last[c] = k;
    }
    for (int c = 0; c < kClients; ++c) QCOMPARE(last[c], kLines);
  }

  void handlerWithNestedLoopKeepsHandOversWhole() {
    // While one client's line is in a handler that runs a nested event loop,
    // the others' lines wait; none is lost, doubled or mixed into the slot.
    CHost host(m_env);
    QVERIFY(host.Start({QStringLiteral("--nest-on"), QStringLiteral("client 0 line 50")})
                .startsWith(QStringLiteral("READY ")));
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int c = 0; c < 3; ++c)
      clients.push_back(StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QStringLiteral("400")}));
    for (auto& client : clients) QVERIFY(Finish(*client));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), 1200);
    std::map<int, int> last;
    const QRegularExpression form(QStringLiteral("^client (\\d) line (\\d+)$"));
    for (const QString& line : lines) {
      const auto match = form.match(line);
      QVERIFY2(match.hasMatch(), qPrintable(line));
      QCOMPARE(match.captured(2).toInt(), ++last[match.captured(1).toInt()]);
    }
  }

  void linesArriveWhileAModalLoopRuns() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    host.Send("modal");
    QCOMPARE(host.WaitFor("MODAL"), QStringLiteral("MODAL"));
    auto client = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("100")});
    QVERIFY(Finish(*client));
    QCOMPARE(host.Lines().size(), 100);
    host.Send("endmodal");
  }

  void monitorGoneMidwayLeavesTheClientRunning() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("late")});
    QByteArray seen;
    QCOMPARE(WaitForLine(*client, seen, "WAITING"), QStringLiteral("WAITING"));
    QCOMPARE(host.Lines(), QStringList{QStringLiteral("early")});
    host.Process().kill();
    QVERIFY(host.Process().waitForFinished(kTimeoutMs));
    client->write("go\n");
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardError(), QByteArray("early\nlate 1\nlate 2\n"));
  }

  void threadsOfOneClientNeverMixLines() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("threads"), QStringLiteral("4"), QStringLiteral("2000")});
    QVERIFY(Finish(*client));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), 8000);
    const QRegularExpression form(QStringLiteral("^thread (\\d) line (\\d+)$"));
    std::map<int, int> last;
    for (const QString& line : lines) {
      const auto match = form.match(line);
      QVERIFY2(match.hasMatch(), qPrintable(line));
      QCOMPARE(match.captured(2).toInt(), ++last[match.captured(1).toInt()]);
    }
    // The mirror is whole lines too.
    const QList<QByteArray> mirrored = client->readAllStandardError().split('\n');
    QCOMPARE(mirrored.size(), 8001);
  }

  void forkedChildTracesOnAConnectionOfItsOwn() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("fork"), QStringLiteral("2000")});
    QVERIFY(Finish(*client));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), 4001);
    QCOMPARE(lines.first(), QStringLiteral("before fork"));
    std::map<QString, int> last;
    const QRegularExpression form(QStringLiteral("^(parent|child) line (\\d+)$"));
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const auto match = form.match(lines[i]);
      QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
      QCOMPARE(match.captured(2).toInt(), ++last[match.captured(1)]);
    }
  }

  void misbehavingClientDoesNotDisturbOthers_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("dropReason");  // empty: no drop is reported
    QTest::newRow("garbage") << QStringLiteral("garbage") << QStringLiteral("DROPPED not a frame");
    QTest::newRow("huge length") << QStringLiteral("hugelen") << QStringLiteral("DROPPED text length");
    QTest::newRow("half a frame, then silence") << QStringLiteral("half") << QString();
    QTest::newRow("killed mid-line") << QStringLiteral("die-midline") << QString();
    QTest::newRow("never reads replies") << QStringLiteral("noread") << QString();
  }
  void misbehavingClientDoesNotDisturbOthers() {
    QFETCH(QString, kind);
    QFETCH(QString, dropReason);
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto bad = StartClient(m_env, {QStringLiteral("raw"), ready.mid(6), kind});
    if (kind == QStringLiteral("die-midline")) {
      QVERIFY(bad->waitForFinished(kTimeoutMs));
      QCOMPARE(bad->exitStatus(), QProcess::CrashExit);
    } else if (kind != QStringLiteral("noread")) {
      QByteArray seen;
      QCOMPARE(WaitForLine(*bad, seen, "SENT"), QStringLiteral("SENT"));
    }
    if (!dropReason.isEmpty()) QVERIFY(host.WaitFor(dropReason.toUtf8()).startsWith(dropReason));

    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("300")});
    QVERIFY(Finish(*good));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), 300);
    for (int k = 0; k < 300; ++k) QCOMPARE(lines[k], QStringLiteral("client 1 line %1").arg(k + 1));
    bad->kill();
    bad->waitForFinished();
  }

  void otherUserIsRefused() {
    if (::geteuid() != 0) QSKIP("needs root to start a client as another user");
    QFileInfo client(QStringLiteral(ZEF_TESTCLIENT));
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    const QString socketPath = ready.mid(6);
    // Open the way to the socket so that only the server's own check stands
    // between the other user and the windows.
    QVERIFY(::chmod(QFile::encodeName(m_pRuntime->path()).constData(), 0711) == 0);
    QVERIFY(::chmod(QFile::encodeName(QFileInfo(socketPath).path()).constData(), 0711) == 0);
    QVERIFY(::chmod(QFile::encodeName(socketPath).constData(), 0666) == 0);

    auto asNobody = [](QProcess& process) {
      process.setChildProcessModifier([] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
      });
    };
    QProcess raw;
    raw.setProcessEnvironment(m_env);
    asNobody(raw);
    raw.start(client.filePath(), {QStringLiteral("raw"), socketPath, QStringLiteral("hello")});
    QVERIFY(raw.waitForFinished(kTimeoutMs));
    if (raw.exitCode() == 99 || raw.exitStatus() != QProcess::NormalExit)
      QSKIP("cannot run the test client as nobody here");
    const QByteArray answer = raw.readAllStandardOutput();
    if (answer.startsWith("CONNECT-FAILED")) QSKIP("nobody cannot reach the test directory");
    QCOMPARE(answer, QByteArray("REFUSED\n"));
    QCOMPARE(host.WaitFor("REFUSED"), QStringLiteral("REFUSED 65534"));

    // The library itself does not even try a directory of another user.
    QProcess lines;
    lines.setProcessEnvironment(m_env);
    asNobody(lines);
    lines.start(client.filePath(), {QStringLiteral("lines"), QStringLiteral("9"), QStringLiteral("2")});
    QVERIFY(Finish(lines));
    QCOMPARE(lines.readAllStandardError(), QByteArray("client 9 line 1\nclient 9 line 2\n"));
    QCOMPARE(host.Lines(), QStringList());
  }

  void staleSocketIsReplacedButALiveOneIsNotStolen() {
    // What a monitor that died leaves behind: a bound socket file nobody serves.
    const QString dir = m_pRuntime->path() + QStringLiteral("/zef");
    QVERIFY(::mkdir(QFile::encodeName(dir).constData(), 0700) == 0);
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/ZEF.sock"));
    {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
      QVERIFY(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
      ::close(fd);
    }
    QVERIFY(QFileInfo::exists(QString::fromUtf8(path)));

    CHost first(m_env);
    QCOMPARE(first.Start(), QStringLiteral("READY ") + QString::fromUtf8(path));
    CHost second(m_env);
    const QString refused = second.Start();
    QVERIFY2(refused.startsWith(QStringLiteral("ERROR Another program already serves")), qPrintable(refused));
    QVERIFY(second.Process().waitForFinished(kTimeoutMs));
    QCOMPARE(second.Process().exitCode(), 2);

    auto client = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("3")});
    QVERIFY(Finish(*client));
    QCOMPARE(first.Lines().size(), 3);
  }

  void commandLineSender() {
    QProcess noMonitor;
    noMonitor.setProcessEnvironment(m_env);
    noMonitor.start(QStringLiteral(ZEF_CLI), {QStringLiteral("hello")});
    QVERIFY(noMonitor.waitForFinished(kTimeoutMs));
    QCOMPARE(noMonitor.exitCode(), 1);
    QVERIFY(noMonitor.readAllStandardError().contains("no monitor is running"));

    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    QProcess words;
    words.setProcessEnvironment(m_env);
    words.start(QStringLiteral(ZEF_CLI), {QStringLiteral("two"), QStringLiteral("words")});
    QVERIFY(Finish(words));
    QProcess piped;
    piped.setProcessEnvironment(m_env);
    piped.start(QStringLiteral(ZEF_CLI), {});
    piped.write("first\r\nsecond\n\nlast");
    piped.closeWriteChannel();
    QVERIFY(Finish(piped));
    QCOMPARE(host.Lines(), (QStringList{QStringLiteral("two words"), QStringLiteral("first"),
                                        QStringLiteral("second"), QString(), QStringLiteral("last")}));
  }
};

QTEST_GUILESS_MAIN(TestTraceTransport)
#include "tst_trace_process.moc"
