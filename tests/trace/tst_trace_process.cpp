// The trace channel between real processes: the stand-in monitor
// (zef_trace_testhost, serving its windows with CWindowServer) and programs
// linking the trace library (zef_trace_testclient). Every test runs in its
// own XDG_RUNTIME_DIR, so no real monitor is disturbed or reached.
#include <zeftrace/windowhost.h>
#include <zeftrace/wire.h>

#include <QFile>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
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

std::unique_ptr<QProcess> StartClient(const QProcessEnvironment& env, const QStringList& args) {
  auto client = std::make_unique<QProcess>();
  client->setProcessEnvironment(env);
  client->start(QStringLiteral(ZEF_TESTCLIENT), args);
  client->waitForStarted();
  return client;
}

QString HostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return QString::fromUtf8(name);
}

// The one peer id of the lines for which `belongs` holds; 0 when there are
// none or they came from more than one peer.
template <typename F>
quint32 PeerOf(const QList<QPair<quint32, QString>>& lines, F belongs) {
  quint32 id = 0;
  for (const auto& [peer, text] : lines) {
    if (!belongs(text)) continue;
    if (id != 0 && peer != id) return 0;
    id = peer;
  }
  return id;
}

bool Finish(QProcess& client) {
  return client.waitForFinished(kTimeoutMs) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}

bool FinishWith(QProcess& process, int status) {
  return process.waitForFinished(kTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == status;
}

std::unique_ptr<QProcess> StartZeftrace(const QProcessEnvironment& env, const QStringList& args = {}) {
  auto cli = std::make_unique<QProcess>();
  cli->setProcessEnvironment(env);
  cli->start(QStringLiteral(ZEF_CLI), args);
  cli->waitForStarted();
  return cli;
}

QByteArray NumberedLines(const char* prefix, int from, int to) {
  QByteArray lines;
  for (int k = from; k <= to; ++k) lines += prefix + QByteArray::number(k) + '\n';
  return lines;
}

// Every line of `lines` matches `form` (sender, number); each sender's
// numbers run 1, 2, 3, ... to `count`: nothing lost, doubled or reordered.
bool EachSenderInOrder(const QStringList& lines, const QRegularExpression& form, int senders, int count) {
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
    QTest::newRow("garbage") << QStringLiteral("garbage") << QStringLiteral("not a frame of this protocol");
    QTest::newRow("huge length") << QStringLiteral("hugelen") << QStringLiteral("text length 4294967280 out of range");
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
    if (!dropReason.isEmpty()) {
      const QString notice = host.WaitFor("NOTICE");
      QVERIFY2(notice.startsWith(QStringLiteral("NOTICE Dropped a client (pid %1): ").arg(bad->processId())) &&
                   notice.contains(dropReason),
               qPrintable(notice));
    }

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
    QVERIFY(raw.waitForStarted(kTimeoutMs));
    const qint64 rawPid = raw.processId();
    QVERIFY(raw.waitForFinished(kTimeoutMs));
    if (raw.exitCode() == 99 || raw.exitStatus() != QProcess::NormalExit)
      QSKIP("cannot run the test client as nobody here");
    const QByteArray answer = raw.readAllStandardOutput();
    if (answer.startsWith("CONNECT-FAILED")) QSKIP("nobody cannot reach the test directory");
    QCOMPARE(answer, QByteArray("REFUSED\n"));
    QCOMPARE(host.WaitFor("NOTICE"), QStringLiteral("NOTICE Refused a client of user 65534 (pid %1)").arg(rawPid));

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

  // --- zeftrace: a tee that never breaks a pipeline ---

  void zeftraceWithoutMonitorKeepsThePipelineWhole() {
    // seq | zeftrace | wc -l with no monitor: seq is not killed, every line
    // comes out on standard error after one notice, and zeftrace says 1.
    const QString err = m_pRuntime->path() + QStringLiteral("/err");
    QProcess shell;
    shell.setProcessEnvironment(m_env);
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral("seq 1 200000 | '%1' 2>'%2' | wc -l; echo \"${PIPESTATUS[*]}\"")
                                           .arg(QStringLiteral(ZEF_CLI), err)});
    QVERIFY(Finish(shell));
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("0\n0 1 0\n"));
    QFile file(err);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray copied = file.readAll();
    const qsizetype firstEnd = copied.indexOf('\n');
    QVERIFY2(copied.startsWith("zeftrace: no monitor is running ("), copied.left(200).constData());
    QVERIFY(copied.left(firstEnd).endsWith("lines go to standard error only"));
    QVERIFY(copied.mid(firstEnd + 1) == NumberedLines("", 1, 200000));
  }

  void zeftraceSaysOnceWhenTheMonitorGoesAway() {
    auto host = std::make_unique<CHost>(m_env);
    QVERIFY(host->Start().startsWith(QStringLiteral("READY ")));
    auto cli = StartZeftrace(m_env);
    const QByteArray early = NumberedLines("early ", 1, 20000);
    cli->write(early);
    QVERIFY(cli->waitForBytesWritten(kTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(host->Count() >= 1000, kTimeoutMs);
    host->Process().kill();
    QVERIFY(host->Process().waitForFinished(kTimeoutMs));
    const QByteArray late = NumberedLines("late ", 1, 20000);
    cli->write(late);
    cli->closeWriteChannel();
    QVERIFY(FinishWith(*cli, 1));

    // Every line on standard error, and one notice between them.
    QByteArray copied = cli->readAllStandardError();
    const QRegularExpression notice(
        QStringLiteral("zeftrace: the monitor went away after (\\d+) lines; the rest go to standard error only\n"));
    const auto match = notice.match(QString::fromUtf8(copied));
    QVERIFY2(match.hasMatch(), copied.right(300).constData());
    QCOMPARE(QString::fromUtf8(copied).count(notice), 1);
    const int after = match.captured(1).toInt();
    QVERIFY(after >= 1 && after <= 20000);
    copied.remove(copied.indexOf("zeftrace: the monitor went away"), match.capturedLength());
    QVERIFY(copied == early + late);
  }

  void pipelinedAndSynchronousClientsTogether() {
    // 4 zeftrace streams and 4 library clients at once: every line exactly
    // once, in order per sender; zeftrace copies its input to stderr as is.
    constexpr int kSenders = 4, kPiped = 20000, kSynchronous = 3000;
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    std::vector<std::unique_ptr<QProcess>> piped, synchronous;
    std::vector<QByteArray> inputs;
    for (int c = 0; c < kSenders; ++c) {
      inputs.push_back(NumberedLines(QByteArray("pipe " + QByteArray::number(c) + " line ").constData(), 1, kPiped));
      piped.push_back(StartZeftrace(m_env));
      synchronous.push_back(
          StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QString::number(kSynchronous)}));
      synchronous.back()->setStandardErrorFile(QProcess::nullDevice());
    }
    for (int c = 0; c < kSenders; ++c) {
      piped[size_t(c)]->write(inputs[size_t(c)]);
      piped[size_t(c)]->closeWriteChannel();
    }
    for (int c = 0; c < kSenders; ++c) {
      QVERIFY(Finish(*piped[size_t(c)]));
      QVERIFY(piped[size_t(c)]->readAllStandardError() == inputs[size_t(c)]);
      QVERIFY(Finish(*synchronous[size_t(c)]));
    }
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), kSenders * (kPiped + kSynchronous));
    QStringList pipeLines, clientLines;
    for (const QString& line : lines) (line.startsWith(u'p') ? pipeLines : clientLines).append(line);
    QVERIFY(EachSenderInOrder(pipeLines, QRegularExpression(QStringLiteral("^pipe (\\d) line (\\d+)$")), kSenders,
                              kPiped));
    QVERIFY(EachSenderInOrder(clientLines, QRegularExpression(QStringLiteral("^client (\\d) line (\\d+)$")), kSenders,
                              kSynchronous));
  }

  void timeoutSendsTheRestToStandardError() {
    CHost host(m_env);
    QVERIFY(host.Start({QStringLiteral("--freeze-on"), QStringLiteral("freeze")}).startsWith(QStringLiteral("READY ")));
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("ZEFTRACE_TIMEOUT_MS"), QStringLiteral("300"));
    auto client = StartClient(env, {QStringLiteral("each"), QStringLiteral("a"), QStringLiteral("freeze"),
                                    QStringLiteral("b"), QStringLiteral("c")});
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardError(),
             QByteArray("a\nfreeze\nzeftrace: the monitor took longer than 300 ms (ZEFTRACE_TIMEOUT_MS) to take a "
                        "line; this and all later lines of this process go to standard error only\nb\nc\n"));
    QCOMPARE(host.Lines(), (QStringList{QStringLiteral("a"), QStringLiteral("freeze")}));

    auto cli = StartZeftrace(env);
    cli->write("x\nfreeze\ny\n");
    cli->closeWriteChannel();
    QVERIFY(FinishWith(*cli, 1));
    const QByteArray copied = cli->readAllStandardError();
    QVERIFY2(copied.startsWith("x\nfreeze\ny\n") || copied.startsWith("x\nfreeze\nzeftrace: the monitor took longer"),
             copied.constData());
    QCOMPARE(copied.count("zeftrace: the monitor took longer than 300 ms"), 1);
  }

  void lineCutAtTheLimitEndsInAnEllipsis() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("long"), QStringLiteral("600000"), QStringLiteral("2")});
    QVERIFY(Finish(*client));
    const QStringList lines = host.Lines();
    QCOMPARE(lines.size(), 2);
    for (const QString& line : lines) {
      QCOMPARE(line.size(), 512 * 1024);
      QVERIFY(line.endsWith(QChar(0x2026)));
      QCOMPARE(line.count(u'x'), 512 * 1024 - 1);
    }
    const QByteArray err = client->readAllStandardError();
    QCOMPARE(err.count("was cut for the monitor"), 1);
    QCOMPARE(err.count(QByteArray(600000, 'x') + '\n'), 2);  // the copy on stderr is whole

    auto cli = StartZeftrace(m_env);
    const QByteArray longLine(2'000'000, 'y');
    cli->write(longLine + "\nshort\n");
    cli->closeWriteChannel();
    QVERIFY(Finish(*cli));
    const QByteArray copied = cli->readAllStandardError();
    QCOMPARE(copied, longLine + "\nzeftrace: a line longer than 524288 characters was cut for the monitor, where "
                                "it ends in \u2026\nshort\n");
    const QStringList after = host.Lines();
    QCOMPARE(after.size(), 4);
    QVERIFY(after[2].endsWith(QChar(0x2026)) && after[2].size() == 512 * 1024);
    QCOMPARE(after[3], QStringLiteral("short"));
  }

  // --- requests that could hold, hide or bloat the monitor ---

  void requestOpeningADialogDoesNotHoldOtherClients() {
    CHost host(m_env);
    const QString ready = host.Start({QStringLiteral("--modal-on"), QStringLiteral("open a dialog")});
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    // Entry from Buffer sent alone, its handler running a dialog's nested loop.
    auto dialog = StartClient(m_env, {QStringLiteral("identify"), ready.mid(6), QStringLiteral("settext=open a dialog"),
                                      QStringLiteral("command=32779")});
    QCOMPARE(host.WaitFor("MODAL"), QStringLiteral("MODAL"));
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int c = 0; c < 4; ++c) {
      clients.push_back(StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QStringLiteral("200")}));
      clients.back()->setStandardErrorFile(QProcess::nullDevice());
    }
    for (auto& client : clients) QVERIFY(Finish(*client));
    QCOMPARE(host.Lines().size(), 801);  // all taken while the dialog is open
    QCOMPARE(dialog->state(), QProcess::Running);
    host.Send("endmodal");
    QVERIFY(Finish(*dialog));
    QCOMPARE(dialog->readAllStandardOutput(), QByteArray("R 0 1\nR 0 0\n"));
  }

  // A client runs what a trace line needs and nothing else; what it is
  // refused is answered, said once, and the connection goes on.
  void clientRunsOnlyWhatATraceLineNeeds_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("notice");  // after "Refused a request of pid <pid> "; empty: none
    QTest::addColumn<QStringList>("lines");
    const QByteArray after = "R 0 1 0 0 0 1\n";  // the hand-over of "after", taken whole
    const QString onlyEntry = QStringLiteral(": only Entry from Buffer is taken from clients");
    QTest::newRow("fault command alone")
        << QStringList{QStringLiteral("command=32771"), QStringLiteral("line=after")} << "R 2 0\n" + after
        << QStringLiteral("to run command 32771") + onlyEntry << QStringList{QStringLiteral("after")};
    QTest::newRow("fault command inside a hand-over")
        << QStringList{QStringLiteral("groupcommand=32772"), QStringLiteral("line=after")} << "R 0 1 2 0 0 1\n" + after
        << QStringLiteral("to run command 32772") + onlyEntry << QStringList{QStringLiteral("after")};
    QTest::newRow("Exit alone") << QStringList{QStringLiteral("command=57665"), QStringLiteral("line=after")}
                                << "R 2 0\n" + after << QStringLiteral("to run command 57665") + onlyEntry
                                << QStringList{QStringLiteral("after")};
    QTest::newRow("close") << QStringList{QStringLiteral("close"), QStringLiteral("line=after")} << "R 2 0\n" + after
                           << QStringLiteral("to close a window: only the user closes the monitor")
                           << QStringList{QStringLiteral("after")};
    QTest::newRow("read of the buffer")
        << QStringList{QStringLiteral("gettext"), QStringLiteral("line=after")} << "R 2 0\n" + after
        << QStringLiteral("to read a window's text: clients only hand lines over") << QStringList{QStringLiteral("after")};
    QTest::newRow("Entry from Buffer alone")
        << QStringList{QStringLiteral("settext=alone"), QStringLiteral("command=32779"), QStringLiteral("line=after")}
        << "R 0 1\nR 0 0\n" + after << QString() << QStringList{QStringLiteral("alone"), QStringLiteral("after")};
  }
  void clientRunsOnlyWhatATraceLineNeeds() {
    QFETCH(QStringList, actions);
    QFETCH(QByteArray, replies);
    QFETCH(QString, notice);
    QFETCH(QStringList, lines);
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, QStringList{QStringLiteral("identify"), ready.mid(6)} + actions);
    const qint64 pid = client->processId();
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardOutput(), replies);
    if (!notice.isEmpty())
      QCOMPARE(host.WaitFor("NOTICE"), QStringLiteral("NOTICE Refused a request of pid %1 ").arg(pid) + notice);
    QCOMPARE(host.Lines(), lines);  // a command or close that ran would be a line here
    QCOMPARE(host.Stats().value(2), 0);  // nothing dropped
  }

  void anotherProcessCannotRetitleTheMonitor() {
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto bad = StartClient(m_env, {QStringLiteral("raw"), ready.mid(6), QStringLiteral("retitle")});
    const qint64 pid = bad->processId();
    QVERIFY(Finish(*bad));
    QCOMPARE(bad->readAllStandardOutput(), QByteArray("REPLY 0 2 FIND 16\n"));  // refused; still found as "ZEF"
    QCOMPARE(host.WaitFor("NOTICE"),
             QStringLiteral("NOTICE Refused a request of pid %1 to retitle the window \"ZEF\"").arg(pid));
    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("3")});
    QVERIFY(Finish(*good));
    QCOMPARE(host.Lines().size(), 3);
  }

  void groupOfThreeLargestFramesIsTaken() {
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto big = StartClient(m_env, {QStringLiteral("raw"), ready.mid(6), QStringLiteral("bigframes")});
    QVERIFY(Finish(*big));
    QCOMPARE(big->readAllStandardOutput(), QByteArray("TAKEN 0\n"));
    QCOMPARE(host.Lines(), QStringList(QString(zef::wire::kMaxTextBytes / 2, u'b')));
    QCOMPARE(host.Stats().value(2), 0);  // nothing dropped
  }

  void manyIdleConnectionsAndOneThatWorks() {
    constexpr int kIdle = 1100;
    rlimit limit{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kIdle + 100) QSKIP("the open-file limit is too low");
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kIdle + 100 : limit.rlim_max;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);

    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    const QByteArray path = QFile::encodeName(ready.mid(6));
    std::vector<int> idle;
    for (int i = 0; i < kIdle; ++i) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
      QVERIFY2(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0, std::strerror(errno));
      idle.push_back(fd);
    }
    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("300")});
    QVERIFY(Finish(*good));
    QCOMPARE(host.Lines().size(), 300);
    QTRY_COMPARE_WITH_TIMEOUT(host.Stats().value(0), qint64(kIdle), kTimeoutMs);
    QCOMPARE(host.Stats().value(1), 0);  // idle connections hold no buffer
    for (int fd : idle) ::close(fd);
    QTRY_COMPARE_WITH_TIMEOUT(host.Stats().value(0), 0, kTimeoutMs);
  }

  void stalledClientIsDroppedAfterTheTimeout_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("half a group") << QStringLiteral("half") << QStringLiteral("half a request did not complete within 0.2 s");
    QTest::newRow("replies never read") << QStringLiteral("noread") << QStringLiteral("its replies were not read for 0.2 s");
  }
  void stalledClientIsDroppedAfterTheTimeout() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    CHost host(m_env);
    const QString ready = host.Start({QStringLiteral("--stall-timeout-ms"), QStringLiteral("200")});
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto bad = StartClient(m_env, {QStringLiteral("raw"), ready.mid(6), kind});
    const qint64 pid = bad->processId();
    QCOMPARE(host.WaitFor("NOTICE"), QStringLiteral("NOTICE Dropped a client (pid %1): %2").arg(pid).arg(reason));
    // Its connection and every byte held for it are gone.
    QTRY_COMPARE_WITH_TIMEOUT(host.Stats().mid(0, 3), (QList<qint64>{0, 0, 1}), kTimeoutMs);
    QByteArray seen;
    QCOMPARE(WaitForLine(*bad, seen, "SENT"), QStringLiteral("SENT"));
    bad->closeWriteChannel();
    QVERIFY(Finish(*bad));
    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("10")});
    QVERIFY(Finish(*good));
    QCOMPARE(host.Lines().size(), 10);
  }

  void fuzzedStreamsNeverHurtTheServer() {
    // Hundreds of connections, each a few groups of random requests with
    // some bytes damaged, then the end of the stream. The server answers or
    // drops each, and stays whole for a client that follows.
    using namespace zef::wire;
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    const QByteArray path = QFile::encodeName(ready.mid(6));
    QRandomGenerator random(1337);
    const std::uint32_t windows[] = {0, 0x10, 0x11, 0x12, 0x13};
    const std::uint32_t messages[] = {zef::WM_SETTEXT, zef::WM_GETTEXT, zef::WM_COMMAND, zef::WM_CLOSE, 0x0200};
    for (int round = 0; round < 400; ++round) {
      std::string stream;
      for (int g = int(random.bounded(1, 4)); g > 0; --g) {
        const std::uint32_t frames = random.bounded(1u, 5u);
        for (std::uint32_t f = 0; f < frames; ++f) {
          std::u16string text(random.bounded(6) == 0 ? random.bounded(3000u) : random.bounded(20u), u'f');
          const SFrameHeader h = MakeFrame(EOp(random.bounded(1, 4)), f + 1 < frames ? kFlagGroupContinues : kFlagNone,
                                           windows[random.bounded(5)], messages[random.bounded(5)],
                                           random.bounded(3) ? zef::kEntryFromBufferCommand : random.generate(), text.size());
          stream.append(reinterpret_cast<const char*>(&h), sizeof h);
          stream.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        }
      }
      for (int m = int(random.bounded(4)); m > 0; --m) stream[random.bounded(quint32(stream.size()))] = char(random.bounded(256));
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
      QVERIFY(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
      // Write and read at once, as the server may answer before it took all.
      size_t sent = 0;
      bool open = true;
      while (open) {
        pollfd p{fd, short(POLLIN | (sent < stream.size() ? POLLOUT : 0)), 0};
        QVERIFY2(::poll(&p, 1, kTimeoutMs) == 1, qPrintable(QStringLiteral("round %1 stuck").arg(round)));
        if (p.revents & POLLOUT) {
          const ssize_t n = ::send(fd, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
          if (n > 0) sent += size_t(n);
          if (n < 0 && errno != EAGAIN) sent = stream.size();
          if (sent == stream.size()) ::shutdown(fd, SHUT_WR);
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
          char sink[65536];
          open = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) != 0 || sent < stream.size();
          if (sent < stream.size() && (p.revents & (POLLHUP | POLLERR))) open = false;
        }
      }
      ::close(fd);
    }
    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("50")});
    QVERIFY(Finish(*good));
    QCOMPARE(host.Lines().mid(host.Lines().size() - 50).first(), QStringLiteral("client 1 line 1"));
    QTRY_COMPARE_WITH_TIMEOUT(host.Stats().mid(0, 2), (QList<qint64>{0, 0}), kTimeoutMs);
  }

  void realMonitorSurvivesAClientsFaultCommandsAndClose() {
    // Run, these would end the monitor (SIGFPE), hang it, or ask to quit.
    QTemporaryDir home;
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess monitor;
    monitor.setProcessEnvironment(env);
    monitor.start(QStringLiteral(ZEF_MONITOR), {});
    QVERIFY(monitor.waitForStarted());
    const QString socketPath = m_pRuntime->path() + QStringLiteral("/zef/ZEF.sock");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socketPath), kTimeoutMs);
    auto client = StartClient(m_env, {QStringLiteral("identify"), socketPath, QStringLiteral("command=32771"),
                                      QStringLiteral("command=32773"), QStringLiteral("groupcommand=32772"),
                                      QStringLiteral("close"), QStringLiteral("line=still here")});
    const qint64 pid = client->processId();
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardOutput(), QByteArray("R 2 0\nR 2 0\nR 0 1 2 0 0 1\nR 2 0\nR 0 1 0 0 0 1\n"));
    QCOMPARE(monitor.state(), QProcess::Running);
    monitor.kill();
    monitor.waitForFinished();
    const QByteArray err = monitor.readAllStandardError();
    QVERIFY2(err.contains(QStringLiteral("zefmon: Refused a request of pid %1 to run command 32771: only Entry from "
                                         "Buffer is taken from clients\n")
                              .arg(pid)
                              .toUtf8()),
             err.constData());
    QCOMPARE(err.count("to run command"), 1);  // said once per kind
  }

  // --- who is on the other end of each connection ---

  void directClientsTellWhoTheyAre_data() {
    QTest::addColumn<QString>("program");  // testclient, zeftrace (piped), zeftrace-word
    QTest::addColumn<QString>("name");
    QTest::newRow("library") << QStringLiteral("testclient") << QStringLiteral("zef_trace_testclient");
    QTest::newRow("zeftrace, pipelined") << QStringLiteral("zeftrace") << QStringLiteral("zeftrace");
    QTest::newRow("zeftrace, one line") << QStringLiteral("zeftrace-word") << QStringLiteral("zeftrace");
  }
  void directClientsTellWhoTheyAre() {
    QFETCH(QString, program);
    QFETCH(QString, name);
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    std::unique_ptr<QProcess> client;
    if (program == QStringLiteral("testclient")) {
      client = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("3"), QStringLiteral("2")});
    } else if (program == QStringLiteral("zeftrace")) {
      client = StartZeftrace(m_env);
      client->write("client 3 line 1\nclient 3 line 2\n");
      client->closeWriteChannel();
    } else {
      client = StartZeftrace(m_env, {QStringLiteral("client 3 line 1")});
    }
    const qint64 pid = client->processId();
    QVERIFY(Finish(*client));
    const auto lines = host.PeerLines();
    QVERIFY(!lines.isEmpty());
    const quint32 id = PeerOf(lines, [](const QString& text) { return text.startsWith(QStringLiteral("client 3")); });
    QVERIFY(id != 0);
    QCOMPARE(host.Peer(id), (QStringList{QString::number(id), QString::number(pid), name, QStringLiteral("1"),
                                         HostName(), QString::number(pid), name}));
    QTRY_COMPARE_WITH_TIMEOUT(host.Gone().size(), 1, kTimeoutMs);
  }

  void relayedClientIsToldApartFromItsPeer() {
    // As through an ssh forward: the client finds a socket in a runtime
    // directory of its own, the relay behind it connects to the monitor.
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    QTemporaryDir far;
    QVERIFY(far.isValid());
    const QString farDir = far.path() + QStringLiteral("/zef");
    QVERIFY(::mkdir(QFile::encodeName(farDir).constData(), 0700) == 0);
    QProcess relay;
    relay.start(QStringLiteral(ZEF_RELAY), {farDir + QStringLiteral("/ZEF.sock"), ready.mid(6)});
    QByteArray seen;
    QCOMPARE(WaitForLine(relay, seen, "READY"), QStringLiteral("READY"));
    QProcessEnvironment farEnv = m_env;
    farEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), far.path());

    auto client = StartClient(farEnv, {QStringLiteral("lines"), QStringLiteral("7"), QStringLiteral("3")});
    const qint64 pid = client->processId();
    QVERIFY(Finish(*client));
    const auto lines = host.PeerLines();
    QCOMPARE(lines.size(), 3);
    const quint32 id = lines.first().first;
    QCOMPARE(PeerOf(lines, [](const QString&) { return true; }), id);
    QCOMPARE(host.Peer(id), (QStringList{QString::number(id), QString::number(relay.processId()),
                                         QStringLiteral("zef_trace_relay"), QStringLiteral("1"), HostName(),
                                         QString::number(pid), QStringLiteral("zef_trace_testclient")}));
    // The client's end reaches the monitor through the relay.
    QTRY_COMPARE_WITH_TIMEOUT(host.Gone(), (QList<QList<qint64>>{{id, 3, 0}}), kTimeoutMs);
    relay.closeWriteChannel();
    QVERIFY(Finish(relay));
  }

  void killedClientIsGoneOnceAfterAllItsLines_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("count");
    QTest::newRow("library client waiting") << QStringList{QStringLiteral("hold"), QStringLiteral("50")}
                                            << QStringLiteral("hold line ") << 50;
    // More than the server reads at once is still in the socket when the
    // client dies, and its replies can no longer be sent.
    QTest::newRow("replies unread, groups left in the socket")
        << QStringList{QStringLiteral("raw"), QString(), QStringLiteral("burst-die")} << QStringLiteral("burst line ")
        << 5000;
  }
  void killedClientIsGoneOnceAfterAllItsLines() {
    QFETCH(QStringList, args);
    QFETCH(QString, prefix);
    QFETCH(int, count);
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    if (args.size() > 1 && args[1].isEmpty()) args[1] = ready.mid(6);
    auto victim = StartClient(m_env, args);
    victim->setStandardErrorFile(QProcess::nullDevice());
    if (args.first() == QStringLiteral("hold")) {
      QByteArray seen;
      QCOMPARE(WaitForLine(*victim, seen, "SENT"), QStringLiteral("SENT"));
      ::kill(pid_t(victim->processId()), SIGKILL);
    }
    QVERIFY(victim->waitForFinished(kTimeoutMs));
    QCOMPARE(victim->exitStatus(), QProcess::CrashExit);

    QTRY_COMPARE_WITH_TIMEOUT(host.Gone().size(), 1, kTimeoutMs);
    // A client that comes after and ends is a mark: by its GONE any second
    // one of the victim would have come too.
    auto after = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("1")});
    QVERIFY(Finish(*after));
    QTRY_COMPARE_WITH_TIMEOUT(host.Gone().size(), 2, kTimeoutMs);
    const auto gone = host.Gone();
    const auto lines = host.PeerLines();
    const quint32 id = PeerOf(lines, [&prefix](const QString& text) { return text.startsWith(prefix); });
    QVERIFY(id != 0);
    QCOMPARE(gone[0][0], qint64(id));
    QVERIFY(gone[1][0] != qint64(id));
    qsizetype taken = 0, last = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (lines[i].first != id) continue;
      QCOMPARE(lines[i].second, prefix + QString::number(++taken));
      last = i;
    }
    QCOMPARE(taken, count);
    QVERIFY(gone[0][1] > last);   // strictly after its last line
    QCOMPARE(gone[0][2], 0);      // and with no client's message being handled
  }

  void peersHaveDistinctIdsInConnectionOrder() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto first = StartClient(m_env, {QStringLiteral("hold"), QStringLiteral("1")});
    const qint64 firstPid = first->processId();
    QByteArray seen;
    QCOMPARE(WaitForLine(*first, seen, "SENT"), QStringLiteral("SENT"));
    std::vector<qint64> pids{firstPid};
    for (int c = 2; c <= 3; ++c) {
      auto next = StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QStringLiteral("1")});
      pids.push_back(next->processId());
      QVERIFY(Finish(*next));
      QTRY_COMPARE_WITH_TIMEOUT(host.Gone().size(), c - 1, kTimeoutMs);
    }
    first->closeWriteChannel();
    QVERIFY(Finish(*first));
    QTRY_COMPARE_WITH_TIMEOUT(host.Gone(), (QList<QList<qint64>>{{2, 2, 0}, {3, 3, 0}, {1, 3, 0}}), kTimeoutMs);
    const auto lines = host.PeerLines();
    QCOMPARE(lines.size(), 3);
    for (quint32 id = 1; id <= 3; ++id) {
      QCOMPARE(lines[id - 1].first, id);
      QCOMPARE(host.Peer(id).value(1), QString::number(pids[id - 1]));
    }
  }

  void hostileIdentifyIsContained_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<QStringList>("told");  // told, host, pid, name as the host shows them
    QTest::addColumn<QString>("notice");    // a notice expected; empty: none looked for
    const QString ok = QStringLiteral("R 0 1"), malformed = QStringLiteral("R 0 0"), refused = QStringLiteral("R 2 0");
    auto told = [](const QString& host, qint64 pid, const QString& name) {
      return QStringList{QStringLiteral("1"), host, QString::number(pid), name};
    };
    const QStringList untold{QStringLiteral("0"), QString(), QStringLiteral("0"), QString()};
    const QString far = QStringLiteral("far"), prog = QStringLiteral("prog");
    QTest::newRow("well formed") << QStringList{QStringLiteral("tell=far\\n4711\\nprog")} << QStringList{ok}
                                 << told(far, 4711, prog) << QString();
    QTest::newRow("overlong") << QStringList{QStringLiteral("tell=") + QString(100000, u'h') + QStringLiteral("\\n7\\n") +
                                             QString(20000, u'n')}
                              << QStringList{ok} << told(QString(64, u'h'), 7, QString(64, u'n')) << QString();
    QTest::newRow("control characters")
        << QStringList{QStringLiteral("tell= a\\u0000b\\u001b[2J\\u0085c\\u2028d\\u202ee\\tf \\n7\\nx\\u007fy\\u009b")}
        << QStringList{ok}
        << told(QString::fromUtf16(u"a\ufffdb\ufffd[2J\ufffdc\ufffdd\ufffde\ufffdf"), 7,
                QString::fromUtf16(u"x\ufffdy\ufffd"))
        << QString();
    QTest::newRow("pid out of range") << QStringList{QStringLiteral("tell=far\\n4194305\\nprog")} << QStringList{ok}
                                      << told(far, 0, prog) << QString();
    QTest::newRow("pid not decimal") << QStringList{QStringLiteral("tell=far\\n-12\\nprog")} << QStringList{ok}
                                     << told(far, 0, prog) << QString();
    QTest::newRow("two fields") << QStringList{QStringLiteral("tell=far\\n4711")} << QStringList{malformed} << untold
                                << QString();
    QTest::newRow("four fields") << QStringList{QStringLiteral("tell=a\\n1\\nb\\nc")} << QStringList{malformed}
                                 << untold << QString();
    QTest::newRow("second identify")
        << QStringList{QStringLiteral("tell=first\\n1\\none"), QStringLiteral("tell=second\\n2\\ntwo")}
        << QStringList{ok, refused} << told(QStringLiteral("first"), 1, QStringLiteral("one"))
        << QStringLiteral("the connection was identified before");
    QTest::newRow("second after a malformed one")
        << QStringList{QStringLiteral("tell=bad"), QStringLiteral("tell=good\\n1\\ngood")}
        << QStringList{malformed, refused} << untold << QString();
    QTest::newRow("inside a group") << QStringList{QStringLiteral("tellgroup=g\\n1\\ng"), QStringLiteral("tell=h\\n2\\nh")}
                                    << QStringList{QStringLiteral("R 2 0 0 1 0 0 0 1"), ok}
                                    << told(QStringLiteral("h"), 2, QStringLiteral("h"))
                                    << QStringLiteral("it came inside a group of frames");
    QTest::newRow("to a window: an ordinary message")
        << QStringList{QStringLiteral("tellwin=w\\n1\\nw")} << QStringList{QStringLiteral("R 1 0")} << untold
        << QString();
  }
  void hostileIdentifyIsContained() {
    QFETCH(QStringList, actions);
    QFETCH(QStringList, replies);
    QFETCH(QStringList, told);
    QFETCH(QString, notice);
    CHost host(m_env);
    const QString ready = host.Start();
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto neighbour = StartClient(m_env, {QStringLiteral("hold"), QStringLiteral("1")});
    QByteArray seen;
    QCOMPARE(WaitForLine(*neighbour, seen, "SENT"), QStringLiteral("SENT"));

    auto hostile = StartClient(m_env, QStringList{QStringLiteral("identify"), ready.mid(6)} + actions +
                                          QStringList{QStringLiteral("line=after")});
    const qint64 pid = hostile->processId();
    QVERIFY(Finish(*hostile));
    QCOMPARE(QString::fromUtf8(hostile->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
             replies + QStringList{QStringLiteral("R 0 1 0 0 0 1")});
    if (!notice.isEmpty())
      QCOMPARE(host.WaitFor("NOTICE"),
               QStringLiteral("NOTICE Refused an identification of pid %1: %2").arg(pid).arg(notice));
    const auto lines = host.PeerLines();
    const quint32 id = PeerOf(lines, [](const QString& text) { return text == QStringLiteral("after"); });
    QVERIFY(id != 0);
    QCOMPARE(host.Peer(id).mid(1), (QStringList{QString::number(pid), QStringLiteral("zef_trace_testclient")} + told));

    // Nothing of it reached anyone else: the neighbour goes on, nothing dropped.
    neighbour->write("\n");
    neighbour->closeWriteChannel();
    QVERIFY(Finish(*neighbour));
    auto good = StartClient(m_env, {QStringLiteral("lines"), QStringLiteral("1"), QStringLiteral("3")});
    QVERIFY(Finish(*good));
    QCOMPARE(host.Lines().mid(host.Lines().size() - 3),
             (QStringList{QStringLiteral("client 1 line 1"), QStringLiteral("client 1 line 2"),
                          QStringLiteral("client 1 line 3")}));
    QCOMPARE(host.Stats().value(2), 0);
  }

  void ownLinesInsideAClientsCommandAreNotTheClients() {
    // The monitor's tools trace into it by direct calls; when one runs
    // inside the handling of a client's line, its lines are still the
    // monitor's own.
    CHost host(m_env);
    const QString ready = host.Start({QStringLiteral("--own-line-on"), QStringLiteral("trace")});
    QVERIFY(ready.startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("identify"), ready.mid(6), QStringLiteral("line=trace"),
                                      QStringLiteral("line=after")});
    QVERIFY(Finish(*client));
    const auto lines = host.PeerLines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1].second, QStringLiteral("own line"));
    QCOMPARE(lines[1].first, 0u);
    QVERIFY(lines[0].first != 0);
    QCOMPARE(lines[2].first, lines[0].first);
  }

  void innermostPeerWhileANestedLoopServesOthers() {
    CHost host(m_env);
    QVERIFY(host.Start({QStringLiteral("--nest-on"), QStringLiteral("client 0 line 20")})
                .startsWith(QStringLiteral("READY ")));
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int c = 0; c < 3; ++c) {
      clients.push_back(StartClient(m_env, {QStringLiteral("lines"), QString::number(c), QStringLiteral("300")}));
      clients.back()->setStandardErrorFile(QProcess::nullDevice());
    }
    const QStringList nested = host.WaitFor("NESTED").split(u' ');
    for (auto& client : clients) QVERIFY(Finish(*client));
    const auto lines = host.PeerLines();
    QCOMPARE(lines.size(), 900);
    std::map<QChar, quint32> ids;
    for (const auto& [id, text] : lines) {
      QVERIFY(id != 0);
      const QChar client = text.at(7);
      if (!ids.count(client)) ids[client] = id;
      QCOMPARE(id, ids[client]);
    }
    QCOMPARE(ids.size(), size_t(3));
    // After the nested loop the handler's own client is current again.
    QCOMPARE(nested.value(1).toUInt(), ids[u'0']);
    QCOMPARE(nested.value(2).toUInt(), ids[u'0']);
  }

  void identifyWaitsNoLongerThanTheTimeout() {
    // A socket that takes connections and never answers: the first request,
    // the identify, is what times out.
    const QString dir = m_pRuntime->path() + QStringLiteral("/zef");
    QVERIFY(::mkdir(QFile::encodeName(dir).constData(), 0700) == 0);
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/ZEF.sock"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QVERIFY(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(fd, 16) == 0);
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("ZEFTRACE_TIMEOUT_MS"), QStringLiteral("300"));

    auto client = StartClient(env, {QStringLiteral("each"), QStringLiteral("a"), QStringLiteral("b")});
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardError(),
             QByteArray("a\nzeftrace: the monitor took longer than 300 ms (ZEFTRACE_TIMEOUT_MS) to take a line; this "
                        "and all later lines of this process go to standard error only\nb\n"));
    auto cli = StartZeftrace(env, {QStringLiteral("word")});
    QVERIFY(FinishWith(*cli, 1));
    QCOMPARE(cli->readAllStandardError(),
             QByteArray("zeftrace: no monitor is running (it did not answer within 300 ms (ZEFTRACE_TIMEOUT_MS)); "
                        "lines go to standard error only\nword\n"));
    ::close(fd);
  }

  // --- the library inside its host ---

  void standardErrorWithoutReaderNeverKillsTheHost_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("pending");
    QTest::newRow("SIGPIPE unblocked") << QString() << QByteArray("NOT PENDING\n");
    QTest::newRow("host's own SIGPIPE pending") << QStringLiteral("blocked") << QByteArray("PENDING\n");
  }
  void standardErrorWithoutReaderNeverKillsTheHost() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, pending);
    QStringList args{QStringLiteral("brokenpipe")};
    if (!mode.isEmpty()) args << mode;
    auto client = StartClient(m_env, args);
    QVERIFY(Finish(*client));
    QCOMPARE(client->readAllStandardOutput(), pending);
  }

  void standardErrorReaderGoneInAPipeline() {
    // prog 2>&1 >/dev/null | head -c3: the program runs to its end.
    QProcess shell;
    shell.setProcessEnvironment(m_env);
    shell.start(QStringLiteral("bash"), {QStringLiteral("-c"),
                                         QStringLiteral("'%1' lines 1 200000 2>&1 >/dev/null | head -c3; echo \" ${PIPESTATUS[*]}\"")
                                             .arg(QStringLiteral(ZEF_TESTCLIENT))});
    QVERIFY(Finish(shell));
    QCOMPARE(shell.readAllStandardOutput(), QByteArray("cli 0 0\n"));
  }

  void printFOfNullStringsAndCharacters() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("printf")});
    QVERIFY(Finish(*client));
    QCOMPARE(host.Lines(),
             (QStringList{QStringLiteral("P() {"), QStringLiteral("s=(null)"), QStringLiteral("u=(null)"),
                          QStringLiteral("w=(null)"), QStringLiteral("n=(null)"), QString::fromUtf16(u"c=\u00e4"),
                          QString::fromUtf16(u"e=\u20ac"), QString(), QStringLiteral("c() {"),
                          QString::fromUtf16(u"s=(null) \u00e4 \u20ac"), QStringLiteral("} c()"), QStringLiteral("} P()")}));
  }
};

QTEST_GUILESS_MAIN(TestTraceTransport)
#include "tst_trace_process.moc"
