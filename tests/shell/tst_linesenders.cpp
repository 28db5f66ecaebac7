// Lines from trace clients in other processes (the installed-alike zeftrace
// reading its standard input): who sent each line, each sender's call
// durations, and the monitor's line for calls a client left open.
#include "tests/support/fixture.h"

#include "monitor/monitorcommands.h"
#include "platform/dialog/menu.h"

#include <QDir>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSettings>

using namespace zef;
using zef::test::CFrameFixture;

class TestLineSenders : public QObject {
  Q_OBJECT
 private slots:
  void twoClientsInterleaved();
  void clientEndingInsideCalls_data();
  void clientEndingInsideCalls();
  void clientThroughARelay();
  void gutterCommandsSwitchAndRemember();
};

namespace {

// A zeftrace process whose standard input the test writes line by line.
class CClient {
 public:
  // `runtimeDir`: the client's own XDG_RUNTIME_DIR instead of the monitor's.
  explicit CClient(const QString& runtimeDir = {}) {
    if (!runtimeDir.isEmpty()) {
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
      m_process.setProcessEnvironment(env);
    }
    m_process.setProgram(QStringLiteral(ZEFTRACE_EXE));
    m_process.setStandardErrorFile(QProcess::nullDevice());  // its copy of each line
    m_process.start();
  }
  ~CClient() {
    m_process.kill();
    m_process.waitForFinished();
  }
  bool Started() { return m_process.waitForStarted(); }
  qint64 Pid() const { return m_process.processId(); }
  void Send(CFrameFixture& f, const QString& line) {
    const int before = f.List().GetCount();
    m_process.write(line.toUtf8() + '\n');
    QTRY_COMPARE(f.List().GetCount(), before + 1);
  }
  void Kill() {
    m_process.kill();
    m_process.waitForFinished();
  }
  void EndInput() {
    m_process.closeWriteChannel();
    m_process.waitForFinished();
  }

 private:
  QProcess m_process;
};

// A clock the test moves: each line is taken in at the time set last.
struct CTestClock {
  std::int64_t nNow = 1'000'000;
  std::function<std::int64_t()> Function() {
    return [this] { return nNow; };
  }
};

}  // namespace

void TestLineSenders::twoClientsInterleaved() {
  CFrameFixture f;
  QVERIFY(f.m_bCreated);
  CTestClock clock;
  f.List().SetClock(clock.Function());
  CClient a;
  CClient b;
  QVERIFY(a.Started() && b.Started());
  clock.nNow = 1'000;
  a.Send(f, QStringLiteral("Load() {"));
  clock.nNow = 2'000;
  b.Send(f, QStringLiteral("Save() {"));
  clock.nNow = 2'500;
  a.Send(f, QStringLiteral("Parse() {"));
  clock.nNow = 4'000;
  // The list's shared nesting would pair this with Parse(); its own
  // sender's does not.
  b.Send(f, QStringLiteral("} Save() (0)"));
  clock.nNow = 9'000;
  a.Send(f, QStringLiteral("} Parse()"));
  clock.nNow = 10'000;
  a.Send(f, QStringLiteral("} Load()"));

  const QString labelA = QStringLiteral("zeftrace[%1]").arg(a.Pid());
  const QString labelB = QStringLiteral("zeftrace[%1]").arg(b.Pid());
  const QList<std::int64_t> spans{-1, -1, -1, 2'000, 6'500, 9'000};
  const QStringList senders{labelA, labelB, labelA, labelB, labelA, labelA};
  for (int i = 0; i < 6; ++i) {
    const SLineStamp stamp = f.List().GetStamp(i);
    QCOMPARE(stamp.nSpan, spans[i]);
    QCOMPARE(f.List().Senders().Label(stamp.nSender), senders[i]);
  }
  QVERIFY(f.List().GetStamp(0).nSender != f.List().GetStamp(1).nSender);
  // Both left every call: nothing to say when they end. A fresh monitor
  // numbers its peers from 1, in the order they connect.
  CSenders& peers = f.List().Senders();
  QVERIFY(peers.Knows(1) && peers.Knows(2));
  a.EndInput();
  b.EndInput();
  QTRY_VERIFY(!peers.Knows(1) && !peers.Knows(2));
  QCOMPARE(f.List().GetCount(), 6);
}

void TestLineSenders::clientEndingInsideCalls_data() {
  QTest::addColumn<bool>("killed");
  QTest::newRow("killed") << true;
  QTest::newRow("ended its input") << false;
}

void TestLineSenders::clientEndingInsideCalls() {
  QFETCH(bool, killed);
  CFrameFixture f;
  QVERIFY(f.m_bCreated);
  CClient client;
  QVERIFY(client.Started());
  client.Send(f, QStringLiteral("Load() {"));
  client.Send(f, QStringLiteral("Parse() {"));
  client.Send(f, QStringLiteral("Step() {"));
  client.Send(f, QStringLiteral("} Step()"));
  const int depth = f.List().Nesting();
  const qint64 pid = client.Pid();
  if (killed) client.Kill();
  else client.EndInput();
  const QString expected = QStringLiteral("zeftrace[%1] ended inside: Load() > Parse()").arg(pid);
  QTRY_COMPARE(f.List().GetCount(), 5);
  // Shown at the depth the list had; it changes no depth itself.
  QCOMPARE(f.List().GetText(4), QStringLiteral("  ").repeated(depth) + expected);
  QCOMPARE(f.List().Nesting(), depth);
  QCOMPARE(f.List().GetStamp(4).nSender, CSenders::kSelf);
  // Exactly one: no second line follows within the next 200 ms. This wait
  // is the window the check watches, not a wait for something to happen.
  QTest::qWait(200);
  QCOMPARE(f.List().GetCount(), 5);
}

void TestLineSenders::clientThroughARelay() {
  // A relay standing in for an ssh forward: the client finds the monitor's
  // socket in a directory of its own, the relay connects on its behalf.
  CFrameFixture f;
  QVERIFY(f.m_bCreated);
  const QString far = f.TempPath(QStringLiteral("far"));
  QVERIFY(QDir().mkpath(far + QStringLiteral("/zef")));
  QFile::setPermissions(far + QStringLiteral("/zef"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcess relay;
  relay.start(QStringLiteral(ZEF_RELAY),
              {far + QStringLiteral("/zef/ZEF.sock"),
               QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/zef/ZEF.sock")});
  QVERIFY(relay.waitForReadyRead(10000));
  QCOMPARE(relay.readLine().trimmed(), QByteArray("READY"));
  CClient client(far);
  QVERIFY(client.Started());
  client.Send(f, QStringLiteral("Remote() {"));
  const QString label =
      QStringLiteral("zef_trace_relay[%1] \u00ABzeftrace[%2]\u00BB").arg(relay.processId()).arg(client.Pid());
  QCOMPARE(f.List().Senders().Label(f.List().GetStamp(0).nSender), label);
  client.Kill();
  QTRY_COMPARE(f.List().GetCount(), 2);
  QCOMPARE(f.List().GetText(1), QStringLiteral("  ") + label + QStringLiteral(" ended inside: Remote()"));
  relay.closeWriteChannel();
  QVERIFY(relay.waitForFinished());
}

void TestLineSenders::gutterCommandsSwitchAndRemember() {
  CFrameFixture f("[Init.Monitor]\nShowTimeAndSender=1\n");
  QVERIFY(f.m_bCreated);
  using G = CMonitorList::EGutter;
  QCOMPARE(f.List().Gutter(), G::kClockTime);
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::TimeSincePrevious));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::TimeSincePrevious));
  QCOMPARE(f.List().Gutter(), G::kSincePrevious);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ShowTimeAndSender));
  QCOMPARE(f.List().Gutter(), G::kOff);
  // Times since the previous line mean nothing without the gutter.
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::TimeSincePrevious));
  // The menu's check marks follow.
  for (QMenu* menu : f.Frame().menuBar()->findChildren<QMenu*>()) {
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
      if (CommandOf(action) == CommandId::ShowTimeAndSender) QVERIFY(action->isCheckable() && !action->isChecked());
      if (CommandOf(action) == CommandId::TimeSincePrevious) QVERIFY(action->isChecked() && !action->isEnabled());
      if (CommandOf(action) == CommandId::GoToMatchingLine)
        QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_BracketRight));
    }
  }
  QVERIFY(f.Frame().close());
  QSettings stored(f.SettingsFile(), QSettings::IniFormat);
  QCOMPARE(stored.value(QStringLiteral("Init.Monitor/ShowTimeAndSender")).toInt(), 0);
  QCOMPARE(stored.value(QStringLiteral("Init.Monitor/TimeSincePrevious")).toInt(), 1);
}

QTEST_MAIN(TestLineSenders)
#include "tst_linesenders.moc"
