// The trace channel between real processes, as a program linking the
// trace library meets it: lines in order from threads, forks and
// pipelines, a monitor that starts late, goes away or is too slow, the
// zeftrace tee, and the library inside its host. What the server does
// with its clients is tested with platform/window.
#include "tests/support/transport.h"

#include <zeftrace/wire.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
#include <memory>

using namespace zef::test;

class TestTraceTransport : public CTransportTest {
  Q_OBJECT

 private Q_SLOTS:
  void init() { NewRuntimeDir(); }

  void nestedLinesArriveInOrder() {
    CHost host(m_env);
    QVERIFY(host.Start().startsWith(QStringLiteral("READY ")));
    auto client = StartClient(m_env, {QStringLiteral("nested")});
    QVERIFY(Finish(*client));
    const QStringList expected{QStringLiteral("Outer() {"),     QStringLiteral("free text"),
                               QStringLiteral("Inner() {"),     QStringLiteral("last error: 0x0005"),
                               QStringLiteral("} Inner() (0)"), QStringLiteral("Empty() {"),
                               QStringLiteral("} Empty()"),     QString::fromUtf16(u"name=\u00e4\U0001F600"),
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
    QCOMPARE(host.Lines(), (QStringList{QStringLiteral("two words"), QStringLiteral("first"), QStringLiteral("second"),
                                        QString(), QStringLiteral("last")}));
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
    QVERIFY(
        EachSenderInOrder(pipeLines, QRegularExpression(QStringLiteral("^pipe (\\d) line (\\d+)$")), kSenders, kPiped));
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
    QCOMPARE(copied, longLine +
                         "\nzeftrace: a line longer than 524288 characters was cut for the monitor, where "
                         "it ends in \u2026\nshort\n");
    const QStringList after = host.Lines();
    QCOMPARE(after.size(), 4);
    QVERIFY(after[2].endsWith(QChar(0x2026)) && after[2].size() == 512 * 1024);
    QCOMPARE(after[3], QStringLiteral("short"));
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
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
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
    QCOMPARE(host.Lines(), (QStringList{QStringLiteral("P() {"), QStringLiteral("s=(null)"), QStringLiteral("u=(null)"),
                                        QStringLiteral("w=(null)"), QStringLiteral("n=(null)"),
                                        QString::fromUtf16(u"c=\u00e4"), QString::fromUtf16(u"e=\u20ac"), QString(),
                                        QStringLiteral("c() {"), QString::fromUtf16(u"s=(null) \u00e4 \u20ac"),
                                        QStringLiteral("} c()"), QStringLiteral("} P()")}));
  }
};

QTEST_GUILESS_MAIN(TestTraceTransport)
#include "tst_trace_process.moc"
