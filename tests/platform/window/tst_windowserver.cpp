// The window server among real client processes (the stand-in monitor
// zef_trace_testhost and the test client): hand-overs kept whole through
// nested and modal loops, clients that misbehave, belong to another user
// or hold, hide or bloat the monitor, a stale socket, and who is on the
// other end of each connection.
#include "tests/support/transport.h"

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

using namespace zef::test;

class TestWindowServer : public CTransportTest {
  Q_OBJECT

 private Q_SLOTS:
  void init() { NewRuntimeDir(); }

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
    QTest::newRow("fault command alone") << QStringList{QStringLiteral("command=32771"), QStringLiteral("line=after")}
                                         << "R 2 0\n" + after << QStringLiteral("to run command 32771") + onlyEntry
                                         << QStringList{QStringLiteral("after")};
    QTest::newRow("fault command inside a hand-over")
        << QStringList{QStringLiteral("groupcommand=32772"), QStringLiteral("line=after")} << "R 0 1 2 0 0 1\n" + after
        << QStringLiteral("to run command 32772") + onlyEntry << QStringList{QStringLiteral("after")};
    QTest::newRow("Exit alone") << QStringList{QStringLiteral("command=57665"), QStringLiteral("line=after")}
                                << "R 2 0\n" + after << QStringLiteral("to run command 57665") + onlyEntry
                                << QStringList{QStringLiteral("after")};
    QTest::newRow("close") << QStringList{QStringLiteral("close"), QStringLiteral("line=after")} << "R 2 0\n" + after
                           << QStringLiteral("to close a window: only the user closes the monitor")
                           << QStringList{QStringLiteral("after")};
    QTest::newRow("read of the buffer") << QStringList{QStringLiteral("gettext"), QStringLiteral("line=after")}
                                        << "R 2 0\n" + after
                                        << QStringLiteral("to read a window's text: clients only hand lines over")
                                        << QStringList{QStringLiteral("after")};
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
    QCOMPARE(host.Lines(), lines);       // a command or close that ran would be a line here
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
    QTest::newRow("half a group") << QStringLiteral("half")
                                  << QStringLiteral("half a request did not complete within 0.2 s");
    QTest::newRow("replies never read") << QStringLiteral("noread")
                                        << QStringLiteral("its replies were not read for 0.2 s");
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
          const SFrameHeader h =
              MakeFrame(EOp(random.bounded(1, 4)), f + 1 < frames ? kFlagGroupContinues : kFlagNone,
                        windows[random.bounded(5)], messages[random.bounded(5)],
                        random.bounded(3) ? zef::kEntryFromBufferCommand : random.generate(), text.size());
          stream.append(reinterpret_cast<const char*>(&h), sizeof h);
          stream.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        }
      }
      for (int m = int(random.bounded(4)); m > 0; --m)
        stream[random.bounded(quint32(stream.size()))] = char(random.bounded(256));
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
    QTest::newRow("library client waiting")
        << QStringList{QStringLiteral("hold"), QStringLiteral("50")} << QStringLiteral("hold line ") << 50;
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
    QVERIFY(gone[0][1] > last);  // strictly after its last line
    QCOMPARE(gone[0][2], 0);     // and with no client's message being handled
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
    QTest::newRow("overlong") << QStringList{QStringLiteral("tell=") + QString(100000, u'h') +
                                             QStringLiteral("\\n7\\n") + QString(20000, u'n')}
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
    QTest::newRow("second identify") << QStringList{QStringLiteral("tell=first\\n1\\none"),
                                                    QStringLiteral("tell=second\\n2\\ntwo")}
                                     << QStringList{ok, refused}
                                     << told(QStringLiteral("first"), 1, QStringLiteral("one"))
                                     << QStringLiteral("the connection was identified before");
    QTest::newRow("second after a malformed one")
        << QStringList{QStringLiteral("tell=bad"), QStringLiteral("tell=good\\n1\\ngood")}
        << QStringList{malformed, refused} << untold << QString();
    QTest::newRow("inside a group") << QStringList{QStringLiteral("tellgroup=g\\n1\\ng"),
                                                   QStringLiteral("tell=h\\n2\\nh")}
                                    << QStringList{QStringLiteral("R 2 0 0 1 0 0 0 1"), ok}
                                    << told(QStringLiteral("h"), 2, QStringLiteral("h"))
                                    << QStringLiteral("it came inside a group of frames");
    QTest::newRow("to a window: an ordinary message") << QStringList{QStringLiteral("tellwin=w\\n1\\nw")}
                                                      << QStringList{QStringLiteral("R 1 0")} << untold << QString();
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
    auto client = StartClient(
        m_env, {QStringLiteral("identify"), ready.mid(6), QStringLiteral("line=trace"), QStringLiteral("line=after")});
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
};

QTEST_GUILESS_MAIN(TestWindowServer)
#include "tst_windowserver.moc"
