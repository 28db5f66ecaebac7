// The end signals reach the event loop once; a second one ends the process.
// Each case runs in a child process of its own: handlers are per process,
// and a second signal is meant to kill.
#include "platform/system/endsignals.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using zef::CEndSignals;

namespace {
// The wait status of a child that ran `body` and exited with its result.
int StatusOfChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Raises the given signals, then runs an event loop until EndRequested
// (at most 10 s); 0 when it came for `expected`.
int RaiseAndAwaitEnd(std::initializer_list<int> raised, int expected) {
  int argc = 1;
  char name[] = "child";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  CEndSignals watcher;
  if (!watcher.IsWatching()) return 2;
  int received = 0;
  QObject::connect(&watcher, &CEndSignals::EndRequested, &application, [&](int signalNumber) {
    received = signalNumber;
    QCoreApplication::quit();
  });
  QTimer::singleShot(10000, &application, &QCoreApplication::quit);
  for (int signalNumber : raised) ::raise(signalNumber);
  application.exec();
  return received == expected ? 0 : 1;
}
}  // namespace

class TestEndSignals : public QObject {
  Q_OBJECT
 private slots:
  void firstSignalReachesTheEventLoop_data();
  void firstSignalReachesTheEventLoop();
  void secondSignalEndsAtOnce();
  void signalIgnoredAtStartStaysIgnored();
};

void TestEndSignals::firstSignalReachesTheEventLoop_data() {
  QTest::addColumn<int>("signalNumber");
  QTest::newRow("SIGTERM") << int(SIGTERM);
  QTest::newRow("SIGINT") << int(SIGINT);
  QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestEndSignals::firstSignalReachesTheEventLoop() {
  QFETCH(int, signalNumber);
  const int status = StatusOfChild([=] { return RaiseAndAwaitEnd({signalNumber}, signalNumber); });
  QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
}

void TestEndSignals::secondSignalEndsAtOnce() {
  // Both come before the event loop could start the orderly end.
  const int status = StatusOfChild([] { return RaiseAndAwaitEnd({SIGINT, SIGTERM}, SIGINT); });
  QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM, qPrintable(QString::number(status)));
}

void TestEndSignals::signalIgnoredAtStartStaysIgnored() {
  // The SIGHUP neither counts as the first signal nor is reported: SIGTERM
  // is the one request.
  const int status = StatusOfChild([] {
    std::signal(SIGHUP, SIG_IGN);
    return RaiseAndAwaitEnd({SIGHUP, SIGTERM}, SIGTERM);
  });
  QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
}

QTEST_APPLESS_MAIN(TestEndSignals)
#include "tst_endsignals.moc"
