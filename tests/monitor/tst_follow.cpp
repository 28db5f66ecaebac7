// Following new lines: the view keeps the last line in sight while the
// reader is at the end, pauses when the reader moves away, counts what
// arrives meanwhile and resumes when the reader comes back.
#include "monitor/follow.h"
#include "monitor/monitorcommands.h"
#include "tests/support/fixture.h"

#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

#include <random>

using namespace zef;
using zef::test::CFrameFixture;

class TestFollow : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QLocale::setDefault(QLocale::c()); }
  void newLinesScrollOnlyWhileFollowingIsOn_data();
  void newLinesScrollOnlyWhileFollowingIsOn();
  void readerMovingAwayPausesAndTheMarkerCounts_data();
  void readerMovingAwayPausesAndTheMarkerCounts();
  void readerComingBackResumes_data();
  void readerComingBackResumes();
  void caretOnTheLastLineStaysOnIt();
  void scrollingTowardTheEndNeverPauses();
  void switchingOffHidesTheMarkerAndKeepsQuickDraw();
  void groupedCounts();
  void theLimitFromTheSettingsDropsAndTheMarkerKeepsCounting();
};

namespace {

void Append(CFrameFixture& f, int count, const QString& prefix = QStringLiteral("line")) {
  for (int i = 0; i < count; ++i) f.Frame().AppendLine(QStringLiteral("%1 %2").arg(prefix).arg(i));
}

int MaxTop(CMonitorList& list) {
  int minPos = 0;
  int maxPos = 0;
  list.GetScrollRange(SB_VERT, &minPos, &maxPos);
  return maxPos;
}

// A frame with following on, 200 lines, and the view caught up with them.
void StartFollowing(CFrameFixture& f) {
  f.Frame().resize(400, 300);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Follow));
  QVERIFY(f.Frame().Settings().monitor.m_bFollow);
  Append(f, 200);
  QTRY_COMPARE(f.List().GetTopIndex(), MaxTop(f.List()));
  QVERIFY(MaxTop(f.List()) > 0);
}

void Wheel(CMonitorList& list, int delta) {
  const QPointF at(10, 10);
  QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(list.viewport(), &wheel);
}

}  // namespace

void TestFollow::newLinesScrollOnlyWhileFollowingIsOn_data() {
  QTest::addColumn<bool>("follow");
  QTest::newRow("following on: the last line comes into view") << true;
  QTest::newRow("following off, quick draw on: the view stays") << false;
}

void TestFollow::newLinesScrollOnlyWhileFollowingIsOn() {
  QFETCH(bool, follow);
  CFrameFixture f;
  f.Frame().resize(400, 300);
  if (follow) QVERIFY(f.Frame().OnCmdMsg(CommandId::Follow));
  Append(f, 200);
  if (follow) {
    QTRY_COMPARE(f.List().GetTopIndex(), MaxTop(f.List()));
  } else {
    QTest::qWait(50);  // the time in which a follower would have scrolled
    QCOMPARE(f.List().GetTopIndex(), 0);
  }
  QVERIFY(!f.List().Follower().Marker()->isVisible());
}

void TestFollow::readerMovingAwayPausesAndTheMarkerCounts_data() {
  QTest::addColumn<int>("move");
  QTest::newRow("page up") << 0;
  QTest::newRow("caret up from the last line") << 1;
  QTest::newRow("wheel up") << 2;
  QTest::newRow("scroll bar up") << 3;
  QTest::newRow("a click on a line above") << 4;
}

void TestFollow::readerMovingAwayPausesAndTheMarkerCounts() {
  QFETCH(int, move);
  CFrameFixture f;
  StartFollowing(f);
  CMonitorList& list = f.List();
  QTest::keyClick(&list, Qt::Key_End);
  switch (move) {
    case 0:
      QTest::keyClick(&list, Qt::Key_PageUp);
      break;
    case 1:
      QTest::keyClick(&list, Qt::Key_Up);
      break;
    case 2:
      Wheel(list, 120);
      break;
    case 3:
      list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
      break;
    default:
      QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(20, 5));
      break;
  }
  QVERIFY(!list.Follower().IsFollowing());
  const int top = list.GetTopIndex();
  Append(f, 1204, QStringLiteral("later"));
  QTRY_VERIFY(list.Follower().Marker()->isVisible());
  QCOMPARE(list.Follower().Marker()->text(), QStringLiteral("\u2193 1,204 new lines"));
  QCOMPARE(list.Follower().NewLines(), 1204);
  QTest::qWait(50);  // the frames in which a follower would have scrolled
  QCOMPARE(list.GetTopIndex(), top);
}

void TestFollow::readerComingBackResumes_data() {
  QTest::addColumn<int>("back");
  QTest::newRow("End") << 0;
  QTest::newRow("the marker") << 1;
  QTest::newRow("scroll bar to the bottom") << 2;
  QTest::newRow("a command scrolling to the end") << 3;
}

void TestFollow::readerComingBackResumes() {
  QFETCH(int, back);
  CFrameFixture f;
  StartFollowing(f);
  CMonitorList& list = f.List();
  QTest::keyClick(&list, Qt::Key_PageUp);
  Append(f, 5, QStringLiteral("later"));
  QTRY_VERIFY(list.Follower().Marker()->isVisible());
  switch (back) {
    case 0:
      QTest::keyClick(&list, Qt::Key_End);
      break;
    case 1:
      QTest::mouseClick(list.Follower().Marker(), Qt::LeftButton);
      break;
    case 2:
      list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
      break;
    default:
      f.Frame().ScrollToEnd();
      break;
  }
  QVERIFY(list.Follower().IsFollowing());
  QVERIFY(!list.Follower().Marker()->isVisible());
  Append(f, 50, QStringLiteral("after"));
  QTRY_COMPARE(list.GetTopIndex(), MaxTop(list));
  QCOMPARE(list.Follower().NewLines(), 0);
}

void TestFollow::caretOnTheLastLineStaysOnIt() {
  // The reader put the caret on the last line: it moves on with the lines.
  CFrameFixture f;
  StartFollowing(f);
  QTest::keyClick(&f.List(), Qt::Key_End);
  Append(f, 30);
  QTRY_COMPARE(f.List().GetCurSel(), 229);
  QVERIFY(f.List().Follower().IsFollowing());
}

void TestFollow::scrollingTowardTheEndNeverPauses() {
  // Lines that arrived within the frame leave the view behind the end;
  // the reader scrolling down meanwhile keeps following.
  CFrameFixture f;
  StartFollowing(f);
  Append(f, 100);
  QVERIFY(f.List().GetTopIndex() < MaxTop(f.List()));
  Wheel(f.List(), -120);
  f.List().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QVERIFY(f.List().Follower().IsFollowing());
  QTRY_COMPARE(f.List().GetTopIndex(), MaxTop(f.List()));
}

void TestFollow::switchingOffHidesTheMarkerAndKeepsQuickDraw() {
  CFrameFixture f;
  StartFollowing(f);
  QTest::keyClick(&f.List(), Qt::Key_PageUp);
  Append(f, 3);
  QTRY_VERIFY(f.List().Follower().Marker()->isVisible());
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Follow));
  QVERIFY(!f.Frame().Settings().monitor.m_bFollow);
  QVERIFY(!f.List().Follower().Marker()->isVisible());
  // Quick draw off scrolls at every line again, as without following.
  f.Frame().Settings().monitor.m_bQuickDraw = false;
  f.Frame().AppendLine(QStringLiteral("last"));
  QCOMPARE(f.List().GetTopIndex(), MaxTop(f.List()));
}

void TestFollow::groupedCounts() {
  QCOMPARE(GroupedCount(7), QStringLiteral("7"));
  QCOMPARE(GroupedCount(1204), QStringLiteral("1,204"));
  QCOMPARE(GroupedCount(10000000), QStringLiteral("10,000,000"));
}

void TestFollow::theLimitFromTheSettingsDropsAndTheMarkerKeepsCounting() {
  CFrameFixture f("[Init.Monitor]\nHistoryLimitMB=1\n");
  StartFollowing(f);
  CMonitorList& list = f.List();
  QTest::keyClick(&list, Qt::Key_PageUp);
  QVERIFY(!list.Follower().IsFollowing());
  // Lines that pack poorly, far more than a megabyte of them: the oldest
  // segments go while paused.
  std::mt19937_64 random(7);
  for (int i = 0; i < 40000; ++i) {
    QString line;
    for (int k = 0; k < 6; ++k) line += QString::number(random(), 16);
    f.Frame().AppendLine(line);
  }
  QVERIFY(list.DroppedLines() > 0);
  QVERIFY(list.MemoryUsed() <= (3u << 20) / 2);
  QVERIFY(list.DroppedNote()->isVisibleTo(&list));
  // The 200 lines the reader had seen went first: every line held is new.
  QVERIFY(list.DroppedLines() > 200);
  QCOMPARE(list.Follower().NewLines(), list.GetCount());
}

QTEST_MAIN(TestFollow)
#include "tst_follow.moc"
