// Listing and ending processes: a made-up /proc for the parsing rules, real
// child processes for the rest.
#include "explore/processlist.h"
#include "tests/explore/tracecapture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zef;
using zef::test::Hex4;
using zef::test::Scoped;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Starts the three-thread child and waits for its "ready".
bool StartChild(QProcess& child) {
  child.start(QStringLiteral(ZEF_TESTCHILD), {});
  if (!child.waitForStarted()) return false;
  while (!child.canReadLine())
    if (!child.waitForReadyRead(10000)) return false;
  return child.readLine() == "ready\n";
}

}  // namespace

class TestProcesses : public QObject {
  Q_OBJECT
 private slots:
  void madeUpProcTreeGivesOneLinePerProcess();
  void unreadableProcGivesTheFailureLine();
  void listsAChildWithItsThreadsAndName();
  void terminateKillsTheChildAndAGoneOneFailsToOpen();
  void invalidIdFailsToOpen();
  void otherUsersProcessIsRefused();

 private:
  test::CTraceCapture m_trace;
};

void TestProcesses::madeUpProcTreeGivesOneLinePerProcess() {
  QTemporaryDir proc;
  QDir root(proc.path());
  for (const char* dir : {"2", "7", "10", "33", "100", "abc"}) QVERIFY(root.mkdir(QString::fromLatin1(dir)));
  QVERIFY(QFile::link(QStringLiteral("10"), proc.filePath(QStringLiteral("self"))));
  // A kernel thread: no executable, the kernel-thread flag (0x200000) set.
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("2/status")), "Name:\tkthreadd\nThreads:\t1\n"));
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("2/stat")), "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0\n"));
  // A deleted executable keeps the kernel's marker in its name.
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("10/status")), "Name:\tt\nUmask:\t0022\nThreads:\t7\nCpus:\t1\n"));
  QVERIFY(QFile::link(QStringLiteral("/opt/tools/some tool (deleted)"), proc.filePath(QStringLiteral("10/exe"))));
  // Another user's process: only its command name, which holds parentheses.
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("33/status")), "Name:\ta) b (c)\nThreads:\t2\n"));
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("33/stat")), "33 (a) b (c)) S 1 33 33 0 -1 4194560 0 0\n"));
  // A file name longer than the entry's 259 units.
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("100/status")), "Threads:\t1\n"));
  QVERIFY(QFile::link(QStringLiteral("/x/") + QString(300, u'n'), proc.filePath(QStringLiteral("100/exe"))));
  // "7" has ended: its files are gone.

  m_trace.Take();
  ZEFMON_EnumProcesses(QFile::encodeName(proc.path()).constData());
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumProcesses()", {
                                                                QStringLiteral("pid=0x2, threads=1, [kthreadd]"),
                                                                QStringLiteral("pid=0xa, threads=7, some tool (deleted)"),
                                                                QStringLiteral("pid=0x21, threads=2, a) b (c)"),
                                                                QStringLiteral("pid=0x64, threads=1, ") + QString(259, u'n'),
                                                            }));
}

void TestProcesses::unreadableProcGivesTheFailureLine() {
  m_trace.Take();
  ZEFMON_EnumProcesses("/nonexistent/proc");
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumProcesses()", {QStringLiteral("Failed to enum processes. HRESULT: 0x0002")}));
}

void TestProcesses::listsAChildWithItsThreadsAndName() {
  QProcess child;
  QVERIFY(StartChild(child));
  const auto pid = std::uint32_t(child.processId());

  m_trace.Take();
  ZEFMON_EnumProcesses();
  const QStringList lines = m_trace.Take();
  QCOMPARE(lines.first(), QStringLiteral("ZEFMON_EnumProcesses() {"));
  QCOMPARE(lines.last(), QStringLiteral("} ZEFMON_EnumProcesses()"));
  QVERIFY(lines.contains(QStringLiteral("pid=0x%1, threads=3, zef_explore_testchild").arg(pid, 0, 16)));
  const QString self = QStringLiteral("pid=0x%1, threads=").arg(::getpid(), 0, 16);
  QVERIFY(std::any_of(lines.begin(), lines.end(), [&self](const QString& line) {
    return line.startsWith(self) && line.endsWith(QStringLiteral(", tst_processes"));
  }));
  // A kernel thread, where this system shows them, in brackets as ps does.
  QFile comm(QStringLiteral("/proc/2/comm"));
  if (comm.open(QIODevice::ReadOnly) && comm.readAll() == "kthreadd\n")
    QVERIFY(lines.contains(QStringLiteral("pid=0x2, threads=1, [kthreadd]")));

  std::uint32_t previous = 0;
  for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
    QVERIFY2(lines[i].startsWith(QStringLiteral("pid=0x")), qPrintable(lines[i]));
    const std::uint32_t id = lines[i].mid(6, lines[i].indexOf(u',') - 6).toUInt(nullptr, 16);
    QVERIFY2(id > previous, qPrintable(lines[i]));
    previous = id;
  }
  child.closeWriteChannel();
  QVERIFY(child.waitForFinished());
}

void TestProcesses::terminateKillsTheChildAndAGoneOneFailsToOpen() {
  QProcess child;
  QVERIFY(StartChild(child));
  const auto pid = std::uint32_t(child.processId());

  m_trace.Take();
  ZEFMON_TerminateProcess(pid);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Process %1 terminated.").arg(Hex4(pid))}));
  QVERIFY(child.waitForFinished(10000));
  QCOMPARE(child.exitStatus(), QProcess::CrashExit);
  // Reaped: the id names nothing any more.
  QCOMPARE(::kill(pid_t(pid), 0), -1);
  QCOMPARE(errno, ESRCH);

  ZEFMON_TerminateProcess(pid);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to open process. HRESULT: 0x0003")}));
}

void TestProcesses::invalidIdFailsToOpen() {
  m_trace.Take();
  ZEFMON_TerminateProcess(0xffffffff);
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to open process. HRESULT: 0x0016")}));
}

void TestProcesses::otherUsersProcessIsRefused() {
  const QStringList refused =
      Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to terminate process. HRESULT: 0x0001")});
  if (::geteuid() != 0) {
    struct stat init {};
    if (::stat("/proc/1", &init) != 0 || init.st_uid == ::geteuid()) QSKIP("no process of another user to aim at");
    m_trace.Take();
    ZEFMON_TerminateProcess(1);
    QCOMPARE(m_trace.Take(), refused);
    return;
  }
  // As root: a child that has become "nobody" aims at a process of root.
  QProcess target;
  QVERIFY(StartChild(target));
  const auto targetPid = std::uint32_t(target.processId());
  int pipeFds[2];
  QCOMPARE(::pipe(pipeFds), 0);
  const pid_t helper = ::fork();
  QVERIFY(helper >= 0);
  if (helper == 0) {
    ::close(pipeFds[0]);
    constexpr uid_t kNobody = 65534;
    // Never aim as root: without the drop the kill would succeed.
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 || ::geteuid() != kNobody)
      ::_exit(3);
    m_trace.Take();
    ZEFMON_TerminateProcess(targetPid);
    const QByteArray out = m_trace.Take().join(u'\n').toUtf8();
    ::_exit(::write(pipeFds[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 4);
  }
  ::close(pipeFds[1]);
  QByteArray out;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buffer, n);
  }
  ::close(pipeFds[0]);
  int status = 0;
  QCOMPARE(::waitpid(helper, &status, 0), helper);
  QVERIFY(WIFEXITED(status));
  QCOMPARE(WEXITSTATUS(status), 0);
  QCOMPARE(QString::fromUtf8(out).split(u'\n'), refused);
  QCOMPARE(target.state(), QProcess::Running);
  target.closeWriteChannel();
  QVERIFY(target.waitForFinished());
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
