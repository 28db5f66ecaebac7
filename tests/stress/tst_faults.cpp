// The faults end a real process by their signal, with the "Before" line
// last in the log file; the endless loop hangs without using the
// processor while a trace client waits for it.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 60000;

// A fault host in a directory of its own, with logging on.
class CFaultHost {
 public:
  CFaultHost() {
    m_strLog = m_dir.filePath(QStringLiteral("faults.log"));
    const QString settings = m_dir.filePath(QStringLiteral("ZEFMON.conf"));
    QFile file(settings);
    if (file.open(QIODevice::WriteOnly))
      file.write("[Init.Loop]\nCount=2\nDelay=0\n[Init.Monitor]\nLogToFile=1\nLogFile=" + QFile::encodeName(m_strLog) +
                 "\n");
    file.close();

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    // The sanitizers' own handlers would report the fault and exit; the
    // signal itself is what is tested.
    m_env.insert(QStringLiteral("ASAN_OPTIONS"),
                 QStringLiteral("handle_segv=0:handle_sigfpe=0:handle_sigbus=0:handle_sigill=0:use_sigaltstack=0:"
                                "detect_leaks=0"));
    m_env.insert(QStringLiteral("UBSAN_OPTIONS"),
                 QStringLiteral("handle_segv=0:handle_sigfpe=0:handle_sigbus=0:handle_sigill=0"));
    m_process.setProcessEnvironment(m_env);
    m_process.setProgram(QStringLiteral(ZEF_FAULTHOST));
    m_process.setArguments({settings});
    // No core files from the tests.
    m_process.setChildProcessModifier([] {
      const rlimit none{0, 0};
      ::setrlimit(RLIMIT_CORE, &none);
    });
  }
  ~CFaultHost() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished();
    }
  }

  bool Start() {
    m_process.start();
    return m_process.waitForStarted(kTimeoutMs) && m_process.waitForReadyRead(kTimeoutMs) &&
           m_process.readLine().trimmed() == "READY";
  }
  void Run(int commandId) { m_process.write(QByteArray::number(commandId) + '\n'); }

  QByteArray Log() const {
    QFile file(m_strLog);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Processor time used so far, in clock ticks.
  long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(m_process.processId()) + "/stat");
    std::string field;
    // After the command name in parentheses (no blanks in ours): fields 14
    // and 15 are user and system time.
    long utime = 0, stime = 0;
    for (int i = 1; i <= 13 && stat >> field; ++i) {
    }
    stat >> utime >> stime;
    return utime + stime;
  }

  QProcess m_process;
  QProcessEnvironment m_env;
  QTemporaryDir m_dir;
  QString m_strLog;
};

}  // namespace

class TestFaults : public QObject {
  Q_OBJECT
 private slots:
  void faultEndsProcessBySignal_data();
  void faultEndsProcessBySignal();
  void endlessLoopHangsIdleWhileClientWaits();
};

void TestFaults::faultEndsProcessBySignal_data() {
  QTest::addColumn<int>("command");
  QTest::addColumn<int>("signal");
  QTest::addColumn<QByteArray>("before");
  QTest::newRow("division by zero") << 32771 << SIGFPE << QByteArray("Before 1/0 ...");
  QTest::newRow("access violation") << 32772 << SIGSEGV << QByteArray("Before Access Violation ...");
  QTest::newRow("unterminated recursion") << 32774 << SIGSEGV << QByteArray("Before Stack Overflow ...");
}

void TestFaults::faultEndsProcessBySignal() {
  QFETCH(int, command);
  QFETCH(int, signal);
  QFETCH(QByteArray, before);

  CFaultHost host;
  QVERIFY(host.Start());
  // A command that returns first: its lines are in the log before the fault's.
  host.Run(32775);  // the blocking loop, two lines
  QVERIFY(host.m_process.waitForReadyRead(kTimeoutMs));
  QCOMPARE(host.m_process.readLine().trimmed(), QByteArray("DONE 32775"));
  host.Run(command);
  QVERIFY(host.m_process.waitForFinished(kTimeoutMs));
  QCOMPARE(host.m_process.exitStatus(), QProcess::CrashExit);
  // QProcess gives the terminating signal as the exit code of a crash.
  QCOMPARE(host.m_process.exitCode(), signal);
  // Nothing after the fault: the "Before" line is the log's last record.
  const QByteArray log = host.Log();
  QVERIFY2(log.endsWith("  loopindex=1\r\nAfter stress loop\r\n" + before + "\r\n"), log.right(200).constData());
}

void TestFaults::endlessLoopHangsIdleWhileClientWaits() {
  CFaultHost host;
  QVERIFY(host.Start());

  // The channel works before the hang.
  QProcess client;
  client.setProcessEnvironment(host.m_env);
  client.start(QStringLiteral(ZEF_CLI), {QStringLiteral("before the hang")});
  QVERIFY(client.waitForFinished(kTimeoutMs));
  QCOMPARE(client.exitCode(), 0);

  host.Run(32773);
  QTRY_VERIFY_WITH_TIMEOUT(host.Log().endsWith("before the hang\r\nBefore Endless Loop ...\r\n"), kTimeoutMs);

  QProcess waiting;
  waiting.setProcessEnvironment(host.m_env);
  waiting.start(QStringLiteral(ZEF_CLI), {QStringLiteral("during the hang")});
  QVERIFY(waiting.waitForStarted(kTimeoutMs));

  // The measurement is a window of one second of the hang.
  const long ticksBefore = host.CpuTicks();
  QTest::qWait(1000);
  const long used = host.CpuTicks() - ticksBefore;
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  QVERIFY2(used * 20 <= ticksPerSecond, qPrintable(QStringLiteral("%1 of %2 ticks").arg(used).arg(ticksPerSecond)));

  QCOMPARE(host.m_process.state(), QProcess::Running);
  QCOMPARE(waiting.state(), QProcess::Running);
  QVERIFY(!host.Log().contains("during the hang"));

  // Only ending the process from outside ends the hang; the client is then
  // let go.
  host.m_process.kill();
  QVERIFY(host.m_process.waitForFinished(kTimeoutMs));
  QVERIFY(waiting.waitForFinished(kTimeoutMs));
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
