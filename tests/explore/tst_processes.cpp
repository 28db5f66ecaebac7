// Listing and ending processes: a made-up /proc for the parsing rules, real
// child processes for the rest.
#include "explore/processlist.h"
#include "tests/support/tracecapture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
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

// Starts the three-thread child, holding `filledMiB` of memory, and waits
// for its "ready".
bool StartChild(QProcess& child, int filledMiB = 0) {
  child.start(QStringLiteral(ZEF_TESTCHILD), {QString::number(filledMiB)});
  if (!child.waitForStarted()) return false;
  while (!child.canReadLine())
    if (!child.waitForReadyRead(10000)) return false;
  return child.readLine() == "ready\n";
}

constexpr char16_t kChildName[] = u"zef_explore_testchild";

// Everything until the writers close; closes `fd`.
QByteArray ReadToEnd(int fd) {
  QByteArray out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buffer, n);
  }
  ::close(fd);
  return out;
}

// In the child of a fork: waits for `pid` and ends with its exit status.
[[noreturn]] void ExitAs(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 9);
}

// Whether the process has ended: gone, or a zombie its parent has not
// collected yet.
bool HasEnded(std::uint32_t pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  return close < 0 || text.mid(close + 2, 1) == "Z";
}

}  // namespace

class TestProcesses : public QObject {
  Q_OBJECT
 private slots:
  void madeUpProcTreeGivesOneLinePerProcess();
  void unreadableProcGivesTheFailureLine();
  void listsAChildWithItsThreadsAndName();
  void terminateKillsTheChildAndAGoneOneFailsToOpen();
  void processWithAnotherNameIsLeftAlone_data();
  void processWithAnotherNameIsLeftAlone();
  void zombieIsNotTerminatedAgain();
  void waitForExitIsBounded();
  void namespaceInitThatIgnoresTheKillIsNotTerminated();
  void invalidIdFailsToOpen();
  void otherUsersProcessIsRefused();

 private:
  test::CTraceCapture m_trace;

  // Forks; in the child runs `prepare`, which may end the child with a code
  // of its own, then Terminate Process on the process it names, under the
  // name the child's own listing would show. The child's exit code (-1 when
  // it did not exit) and its trace lines.
  struct SChildRun {
    int nExit = -1;
    QStringList lines;
  };
  SChildRun TerminateInChild(const std::function<std::uint32_t()>& prepare);
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
  // A name that would retitle a terminal, forge a line or reorder one.
  QVERIFY(root.mkdir(QStringLiteral("55")));
  QVERIFY(WriteFile(proc.filePath(QStringLiteral("55/status")), "Threads:\t1\n"));
  QVERIFY(QFile::link(QStringLiteral("/x/ev\x1b]0;X\x07il\nx\u202e"), proc.filePath(QStringLiteral("55/exe"))));
  // "7" has ended: its files are gone.

  m_trace.Take();
  ZEFMON_EnumProcesses(QFile::encodeName(proc.path()).constData());
  QCOMPARE(m_trace.Take(), Scoped("ZEFMON_EnumProcesses()",
                                  {
                                      QStringLiteral("pid=0x2, threads=1, [kthreadd]"),
                                      QStringLiteral("pid=0xa, threads=7, some tool (deleted)"),
                                      QStringLiteral("pid=0x21, threads=2, a) b (c)"),
                                      QStringLiteral("pid=0x37, threads=1, ev\ufffd]0;X\ufffdil\ufffdx\ufffd"),
                                      QStringLiteral("pid=0x64, threads=1, ") + QString(259, u'n'),
                                  }));
}

void TestProcesses::unreadableProcGivesTheFailureLine() {
  m_trace.Take();
  ZEFMON_EnumProcesses("/nonexistent/proc");
  QCOMPARE(m_trace.Take(),
           Scoped("ZEFMON_EnumProcesses()", {QStringLiteral("Failed to enum processes. HRESULT: 0x0002")}));
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
  // Its memory takes the kernel a while to free once the kill is delivered.
  QVERIFY(StartChild(child, 128));
  const auto pid = std::uint32_t(child.processId());

  m_trace.Take();
  ZEFMON_TerminateProcess(pid, kChildName);
  QCOMPARE(m_trace.Take(),
           Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Process %1 terminated.").arg(Hex4(pid))}));
  // Said only once the process has ended, not when the kill went out.
  QVERIFY(HasEnded(pid));
  QVERIFY(child.waitForFinished(10000));
  QCOMPARE(child.exitStatus(), QProcess::CrashExit);
  // Reaped: the id names nothing any more.
  QCOMPARE(::kill(pid_t(pid), 0), -1);
  QCOMPARE(errno, ESRCH);

  ZEFMON_TerminateProcess(pid, kChildName);
  QCOMPARE(m_trace.Take(),
           Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to open process. HRESULT: 0x0003")}));
}

void TestProcesses::processWithAnotherNameIsLeftAlone_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("shown");
  QTest::newRow("another program") << QStringLiteral("sleep") << QStringLiteral("sleep");
  QTest::newRow("the name cut short") << QStringLiteral("zef_explore") << QStringLiteral("zef_explore");
  QTest::newRow("the name and more") << QStringLiteral("zef_explore_testchild ")
                                     << QStringLiteral("zef_explore_testchild ");
  QTest::newRow("a control in the name") << QStringLiteral("s\u202eleep") << QStringLiteral("s\ufffdleep");
}

void TestProcesses::processWithAnotherNameIsLeftAlone() {
  QFETCH(QString, name);
  QFETCH(QString, shown);
  QProcess child;
  QVERIFY(StartChild(child));
  const auto pid = std::uint32_t(child.processId());
  m_trace.Take();
  ZEFMON_TerminateProcess(pid, name.toStdU16String());
  QCOMPARE(
      m_trace.Take(),
      Scoped(
          "ZEFMON_TerminateProcess()",
          {QStringLiteral("pid %1 is now zef_explore_testchild, not %2: nothing terminated").arg(Hex4(pid), shown)}));
  QVERIFY(!child.waitForFinished(100));
  QCOMPARE(child.state(), QProcess::Running);
  child.closeWriteChannel();
  QVERIFY(child.waitForFinished());
}

void TestProcesses::zombieIsNotTerminatedAgain() {
  const pid_t zombie = ::fork();
  QVERIFY(zombie >= 0);
  if (zombie == 0) ::_exit(0);
  QTRY_VERIFY(HasEnded(std::uint32_t(zombie)));
  m_trace.Take();
  // Whatever its name: it has ended, only its parent has not collected it.
  ZEFMON_TerminateProcess(std::uint32_t(zombie), u"tst_processes");
  QCOMPARE(m_trace.Take(),
           Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to open process. HRESULT: 0x0003")}));
  int status = 0;
  QCOMPARE(::waitpid(zombie, &status, 0), zombie);
  QVERIFY(WIFEXITED(status));
}

void TestProcesses::waitForExitIsBounded() {
  QProcess child;
  QVERIFY(StartChild(child));
  const CProcessHandle process = OpenProcess(std::uint32_t(child.processId()));
  QVERIFY(process);
  std::u16string name;
  QVERIFY(GetProcessFileName(process, &name));
  QCOMPARE(name, std::u16string(kChildName));
  QVERIFY(!WaitForProcessExit(process, 50));
  QCOMPARE(errno, ETIMEDOUT);
  child.closeWriteChannel();
  QVERIFY(WaitForProcessExit(process, 10000));
  QVERIFY(!GetProcessFileName(process, &name));
  QCOMPARE(errno, ESRCH);
  QVERIFY(child.waitForFinished());
}

void TestProcesses::namespaceInitThatIgnoresTheKillIsNotTerminated() {
  // Seen from inside its pid namespace, the namespace's init ignores
  // SIGKILL: the kill is sent, the process stays.
  constexpr int kNoNamespace = 77;
  const SChildRun run = TerminateInChild([] {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS) != 0) ::_exit(kNoNamespace);
    const pid_t init = ::fork();
    if (init != 0) ExitAs(init);
    // Pid 1 of the new namespace, with a /proc of its own.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("proc", "/proc", "proc", 0, nullptr) != 0)
      ::_exit(kNoNamespace);
    const pid_t killer = ::fork();
    if (killer != 0) ExitAs(killer);
    return std::uint32_t(1);
  });
  if (run.nExit == kNoNamespace) QSKIP("no user and pid namespaces here");
  QCOMPARE(run.nExit, 0);
  QCOMPARE(run.lines,
           Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to terminate process. HRESULT: 0x006e")}));
}

void TestProcesses::invalidIdFailsToOpen() {
  m_trace.Take();
  ZEFMON_TerminateProcess(0xffffffff, u"x");
  QCOMPARE(m_trace.Take(),
           Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to open process. HRESULT: 0x0016")}));
}

void TestProcesses::otherUsersProcessIsRefused() {
  const QStringList refused =
      Scoped("ZEFMON_TerminateProcess()", {QStringLiteral("Failed to terminate process. HRESULT: 0x0001")});
  if (::geteuid() != 0) {
    struct stat init {};
    if (::stat("/proc/1", &init) != 0 || init.st_uid == ::geteuid()) QSKIP("no process of another user to aim at");
    std::u16string name;
    QVERIFY(GetProcessFileName(OpenProcess(1), &name));
    m_trace.Take();
    ZEFMON_TerminateProcess(1, name);
    QCOMPARE(m_trace.Take(), refused);
    return;
  }
  // As root: a child that has become "nobody" aims at a process of root.
  QProcess target;
  QVERIFY(StartChild(target));
  const auto targetPid = std::uint32_t(target.processId());
  const SChildRun run = TerminateInChild([targetPid] {
    constexpr uid_t kNobody = 65534;
    // Never aim as root: without the drop the kill would succeed.
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 || ::geteuid() != kNobody)
      ::_exit(3);
    // The name is then as this user's listing shows it: the executable
    // cannot be read, the command name can.
    return targetPid;
  });
  QCOMPARE(run.nExit, 0);
  QCOMPARE(run.lines, refused);
  QCOMPARE(target.state(), QProcess::Running);
  target.closeWriteChannel();
  QVERIFY(target.waitForFinished());
}

TestProcesses::SChildRun TestProcesses::TerminateInChild(const std::function<std::uint32_t()>& prepare) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t child = ::fork();
  if (child < 0) return {};
  if (child == 0) {
    ::close(pipeFds[0]);
    const std::uint32_t pid = prepare();
    std::u16string name;
    if (!GetProcessFileName(OpenProcess(pid), &name)) ::_exit(5);
    m_trace.Take();
    ZEFMON_TerminateProcess(pid, name);
    const QByteArray out = m_trace.Take().join(u'\n').toUtf8();
    ::_exit(::write(pipeFds[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 4);
  }
  ::close(pipeFds[1]);
  SChildRun run;
  run.lines = QString::fromUtf8(ReadToEnd(pipeFds[0])).split(u'\n');
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) run.nExit = WEXITSTATUS(status);
  return run;
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
