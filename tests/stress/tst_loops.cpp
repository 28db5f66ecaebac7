// The blocking loop, the timer loop with its abort and enabling, and the
// Loop Settings dialog, run through the main frame's commands.
#include "stress/stresscommands.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/fixture.h"

using namespace zef;
using zef::test::CFrameFixture;

namespace {

constexpr std::uint32_t kTimer = CStressCommands::kTimerLoopId;
// An interval that never elapses within a test: ticks are then given by
// the test itself, through the frame's WM_TIMER handler.
constexpr int kNever = 3600 * 1000;

QStringList Lines(std::initializer_list<const char*> lines) {
  QStringList list;
  for (const char* line : lines) list << QString::fromLatin1(line);
  return list;
}

// Whether the two timer-loop items are enabled, as the Stress popup shows them.
QString TimerItems(CMainFrame& frame) {
  return QStringLiteral("start %1, abort %2")
      .arg(frame.IsCommandEnabled(CommandId::LoopTimer) ? u"on" : u"off",
           frame.IsCommandEnabled(CommandId::AbortLoopTimer) ? u"on" : u"off");
}
const QString kIdle = QStringLiteral("start on, abort off");
const QString kRunning = QStringLiteral("start off, abort on");

}  // namespace

class TestLoops : public QObject {
  Q_OBJECT
 private slots:
  void blockingLoop_data();
  void blockingLoop();
  void timerLoopRunsToItsEnd_data();
  void timerLoopRunsToItsEnd();
  void abortAfterTwoTicksThenRestartCountsFromOne();
  void countIsReadAtEveryTick();
  void ticksGoOnBehindTheLoopDialog();
  void ticksWaitWhileTheBlockingLoopRuns();
  void loopDialogCancelKeepsAllFive_data();
  void loopDialogCancelKeepsAllFive();
  void loopDialogTakesAnyInteger();
  void loopDialogRefusesTextInExchangeOrder();
};

void TestLoops::blockingLoop_data() {
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("delay");
  QTest::addColumn<QStringList>("lines");
  const QStringList empty = Lines({"Before stress loop ...", "After stress loop"});
  QTest::newRow("count 0") << 0 << 0 << empty;
  QTest::newRow("count negative") << -5 << 0 << empty;
  QTest::newRow("count 3, delay 0") << 3 << 0
                                    << Lines({"Before stress loop ...", "  loopindex=0", "  loopindex=1",
                                              "  loopindex=2", "After stress loop"});
  // A negative delay is taken as 0, not as an endless wait.
  QTest::newRow("delay -1") << 2 << -1
                            << Lines({"Before stress loop ...", "  loopindex=0", "  loopindex=1", "After stress loop"});
}

void TestLoops::blockingLoop() {
  QFETCH(int, count);
  QFETCH(int, delay);
  QFETCH(QStringList, lines);
  CFrameFixture f;
  f.Frame().Settings().loop.m_nLoopCount = count;
  f.Frame().Settings().loop.m_nLoopDelay = delay;
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Loop));
  QCOMPARE(f.Lines(), lines);
}

void TestLoops::timerLoopRunsToItsEnd_data() {
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("interval");
  QTest::addColumn<QStringList>("lines");
  QTest::newRow("count 0") << 0 << 5 << Lines({"Start stress loop (WM_TIMER)...", "End stress loop (WM_TIMER)"});
  QTest::newRow("count -3") << -3 << 5 << Lines({"Start stress loop (WM_TIMER)...", "End stress loop (WM_TIMER)"});
  QTest::newRow("count 2") << 2 << 5
                           << Lines({"Start stress loop (WM_TIMER)...", "  WM_TIMER 1", "  WM_TIMER 2",
                                     "End stress loop (WM_TIMER)"});
  // A negative interval is taken as 0.
  QTest::newRow("interval -1") << 2 << -1
                               << Lines({"Start stress loop (WM_TIMER)...", "  WM_TIMER 1", "  WM_TIMER 2",
                                         "End stress loop (WM_TIMER)"});
}

void TestLoops::timerLoopRunsToItsEnd() {
  QFETCH(int, count);
  QFETCH(int, interval);
  QFETCH(QStringList, lines);
  CFrameFixture f;
  CLoopSettings& loop = f.Frame().Settings().loop;
  loop.m_nTimerLoopCount = count;
  loop.m_nTimerLoopInterval = interval;
  auto* stress = f.Frame().GetFeature<CStressCommands>();
  QVERIFY(stress != nullptr);
  QCOMPARE(TimerItems(f.Frame()), kIdle);

  QVERIFY(f.Frame().OnCmdMsg(CommandId::LoopTimer));
  QCOMPARE(stress->TimerLoopCounter(), 0);
  QCOMPARE(TimerItems(f.Frame()), kRunning);
  QTRY_COMPARE(f.Lines(), lines);
  QCOMPARE(stress->TimerLoopCounter(), -1);
  QCOMPARE(TimerItems(f.Frame()), kIdle);
  // The timer is gone with the end line: a late tick writes nothing.
  f.Frame().OnTimer(kTimer);
  QCOMPARE(f.Lines(), lines);
}

void TestLoops::abortAfterTwoTicksThenRestartCountsFromOne() {
  CFrameFixture f;
  f.Frame().Settings().loop.m_nTimerLoopCount = 100;
  f.Frame().Settings().loop.m_nTimerLoopInterval = kNever;
  f.Frame().OnCmdMsg(CommandId::LoopTimer);
  f.Frame().OnTimer(kTimer);
  f.Frame().OnTimer(kTimer);
  // Other timers' ticks are not the loop's.
  f.Frame().OnTimer(kTimer + 1);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::AbortLoopTimer));
  QCOMPARE(TimerItems(f.Frame()), kIdle);
  f.Frame().OnTimer(kTimer);
  QCOMPARE(f.Lines(), Lines({"Start stress loop (WM_TIMER)...", "  WM_TIMER 1", "  WM_TIMER 2",
                             "aborted stress loop (WM_TIMER)"}));

  f.Frame().OnCmdMsg(CommandId::LoopTimer);
  f.Frame().OnTimer(kTimer);
  QCOMPARE(f.Lines().mid(4), Lines({"Start stress loop (WM_TIMER)...", "  WM_TIMER 1"}));
  QCOMPARE(TimerItems(f.Frame()), kRunning);
}

void TestLoops::countIsReadAtEveryTick() {
  CFrameFixture f;
  CLoopSettings& loop = f.Frame().Settings().loop;
  loop.m_nTimerLoopCount = 100;
  loop.m_nTimerLoopInterval = kNever;
  f.Frame().OnCmdMsg(CommandId::LoopTimer);
  f.Frame().OnTimer(kTimer);
  f.Frame().OnTimer(kTimer);
  loop.m_nTimerLoopCount = 2;
  f.Frame().OnTimer(kTimer);
  QCOMPARE(f.Lines().last(), QStringLiteral("End stress loop (WM_TIMER)"));
  QCOMPARE(TimerItems(f.Frame()), kIdle);
}

void TestLoops::ticksGoOnBehindTheLoopDialog() {
  CFrameFixture f;
  f.Frame().Settings().loop.m_nTimerLoopCount = 3;
  f.Frame().Settings().loop.m_nTimerLoopInterval = 5;
  f.Frame().OnCmdMsg(CommandId::LoopTimer);
  bool endedBehindDialog = false;
  test::WhenOpen([&](CDialog& dlg) {
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Loop Settings"));
    QTRY_COMPARE(f.Lines().last(), QStringLiteral("End stress loop (WM_TIMER)"));
    endedBehindDialog = dlg.isVisible();
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QVERIFY(f.Frame().OnCmdMsg(CommandId::SetupLoop));
  QVERIFY(endedBehindDialog);
  QCOMPARE(f.Lines().size(), 5);
}

void TestLoops::ticksWaitWhileTheBlockingLoopRuns() {
  CFrameFixture f;
  CLoopSettings& loop = f.Frame().Settings().loop;
  loop.m_nTimerLoopCount = 1000000;
  loop.m_nTimerLoopInterval = 1;
  loop.m_nLoopCount = 3;
  loop.m_nLoopDelay = 20;  // many timer intervals per line
  f.Frame().OnCmdMsg(CommandId::LoopTimer);
  QTRY_VERIFY(f.Lines().contains(QStringLiteral("  WM_TIMER 1")));
  f.Frame().OnCmdMsg(CommandId::Loop);
  const QStringList lines = f.Lines();
  const qsizetype before = lines.indexOf(QStringLiteral("Before stress loop ..."));
  QCOMPARE(lines.mid(before),
           Lines({"Before stress loop ...", "  loopindex=0", "  loopindex=1", "  loopindex=2", "After stress loop"}));
  // Afterwards the timer loop simply goes on with its next tick.
  const QString next = QStringLiteral("  WM_TIMER %1").arg(before);
  QTRY_VERIFY(f.Lines().contains(next));
  f.Frame().OnCmdMsg(CommandId::AbortLoopTimer);
}

void TestLoops::loopDialogCancelKeepsAllFive_data() {
  QTest::addColumn<bool>("escape");  // else the Cancel button
  QTest::newRow("Cancel button") << false;
  QTest::newRow("Escape") << true;
}

void TestLoops::loopDialogCancelKeepsAllFive() {
  QFETCH(bool, escape);
  CFrameFixture f;
  CLoopSettings& loop = f.Frame().Settings().loop;
  loop = CLoopSettings{11, 22, 33, 44, 55};
  test::WhenOpen([&](CDialog& dlg) {
    const int ids[] = {IDC_LOOP_COUNT, IDC_LOOP_DELAY, IDC_TIMERLOOP_COUNT, IDC_TIMERLOOP_DELAY,
                       IDC_TIMERLOOP_INTERVAL};
    QStringList shown;
    for (int id : ids) {
      shown << test::Control<QLineEdit>(dlg, id).text();
      test::TypeInto(dlg, id, QStringLiteral("7"));
    }
    QCOMPARE(shown, Lines({"11", "22", "33", "44", "55"}));
    if (escape) QTest::keyClick(&dlg, Qt::Key_Escape);
    else QTest::mouseClick(dlg.GetDlgItem(IDC_CANCEL), Qt::LeftButton);
  });
  f.Frame().OnCmdMsg(CommandId::SetupLoop);
  QCOMPARE(loop.m_nLoopCount, 11);
  QCOMPARE(loop.m_nLoopDelay, 22);
  QCOMPARE(loop.m_nTimerLoopCount, 33);
  QCOMPARE(loop.m_nTimerLoopDelay, 44);
  QCOMPARE(loop.m_nTimerLoopInterval, 55);
}

void TestLoops::loopDialogTakesAnyInteger() {
  CFrameFixture f;
  test::CMessageBoxRecorder boxes;
  test::WhenOpen([&](CDialog& dlg) {
    QVERIFY(dlg.focusWidget() == dlg.GetDlgItem(IDC_LOOP_COUNT));
    test::TypeInto(dlg, IDC_LOOP_COUNT, QStringLiteral("0"));
    test::TypeInto(dlg, IDC_LOOP_DELAY, QStringLiteral("-1"));
    test::TypeInto(dlg, IDC_TIMERLOOP_COUNT, QStringLiteral("-2147483648"));
    test::TypeInto(dlg, IDC_TIMERLOOP_DELAY, QStringLiteral("2147483647"));
    test::TypeInto(dlg, IDC_TIMERLOOP_INTERVAL, QStringLiteral(" 7 "));
    test::ClickCaptionOk(dlg);
  });
  f.Frame().OnCmdMsg(CommandId::SetupLoop);
  QVERIFY(boxes.m_boxes.empty());
  const CLoopSettings& loop = f.Frame().Settings().loop;
  QCOMPARE(loop.m_nLoopCount, 0);
  QCOMPARE(loop.m_nLoopDelay, -1);
  QCOMPARE(loop.m_nTimerLoopCount, -2147483647 - 1);
  QCOMPARE(loop.m_nTimerLoopDelay, 2147483647);
  QCOMPARE(loop.m_nTimerLoopInterval, 7);
}

void TestLoops::loopDialogRefusesTextInExchangeOrder() {
  CFrameFixture f;
  test::CMessageBoxRecorder boxes;
  f.Frame().Settings().loop = CLoopSettings{1, 2, 3, 4, 5};
  test::WhenOpen([&](CDialog& dlg) {
    // The counts are exchanged before the delays: the timer loop's count is
    // refused first although its edit lies below the blocking loop's delay.
    test::TypeInto(dlg, IDC_LOOP_DELAY, QStringLiteral("x"));
    test::TypeInto(dlg, IDC_TIMERLOOP_COUNT, QStringLiteral("4294967296"));
    test::ClickCaptionOk(dlg);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(IDC_TIMERLOOP_COUNT));
    test::TypeInto(dlg, IDC_TIMERLOOP_COUNT, QStringLiteral("9"));
    QTest::keyClick(dlg.GetDlgItem(IDC_TIMERLOOP_COUNT), Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(IDC_LOOP_DELAY));
    QCOMPARE(boxes.m_boxes.size(), std::size_t{2});
    test::TypeInto(dlg, IDC_LOOP_DELAY, QStringLiteral("8"));
    test::ClickCaptionOk(dlg);
  });
  f.Frame().OnCmdMsg(CommandId::SetupLoop);
  QCOMPARE(f.Frame().Settings().loop.m_nTimerLoopCount, 9);
  QCOMPARE(f.Frame().Settings().loop.m_nLoopDelay, 8);
}

QTEST_MAIN(TestLoops)
#include "tst_loops.moc"
