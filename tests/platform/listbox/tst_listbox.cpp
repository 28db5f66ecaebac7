// The list widget driven as a user and as its owner do: real clicks and
// keys on the viewport, the LB_ operations, scrolling and painting.
#include <QtTest>

#include <QScrollBar>

#include "platform/listbox/listbox.h"
#include "tests/platform/listbox/listfixture.h"

using zef::CListBox;
using zef::LB_ERR;
using namespace zef::test;

namespace {

// How long a widget has gone without painting. The list paces its paints
// to the screen's refresh: a change made within a frame of the last paint
// is folded into a full repaint, one made after a quiet frame is painted as
// itself (a pixel scroll, single rows).
class CPaintClock final : public QObject {
 public:
  explicit CPaintClock(QWidget* widget) {
    m_timer.start();
    widget->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) m_timer.restart();
    return false;
  }
  // Longer than the list's frame, with room for a slow machine's timers.
  bool QuietForAFrame() const { return m_timer.elapsed() > 40; }

 private:
  QElapsedTimer m_timer;
};

// A gutter that shows, per row, the line's index and its stamp's sender.
class CIndexGutter final : public zef::IListGutter {
 public:
  explicit CIndexGutter(const CListBox* list = nullptr) : m_pList(list) {}
  std::vector<SColumn> Columns() const override { return m_vColumns; }
  void RowTexts(int index, std::vector<QString>& texts) const override {
    texts[0] = QStringLiteral("#%1").arg(index);
    texts[1] = m_pList ? QStringLiteral("s%1").arg(m_pList->GetStamp(index).nSender) : QStringLiteral("x");
  }
  std::vector<SColumn> m_vColumns{{QStringLiteral("#000"), false}, {QStringLiteral("s00"), true}};

 private:
  const CListBox* m_pList;
};

// The columns of `image` (from `from` on) in rows y0..y1-1 that hold a
// pixel other than `background`: the first and the last, or -1, -1.
std::pair<int, int> InkColumns(const QImage& image, int y0, int y1, const QColor& background, int from = 0) {
  int first = -1, last = -1;
  for (int x = from; x < image.width(); ++x)
    for (int y = y0; y < y1; ++y)
      if (image.pixelColor(x, y) != background) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

// Whether rows y0..y1-1 of `a` from column ax on equal those of `b` from
// bx on, over `width` columns.
bool SameStrip(const QImage& a, int ax, const QImage& b, int bx, int width, int y0, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < width; ++x)
      if (a.pixel(ax + x, y) != b.pixel(bx + x, y)) return false;
  return true;
}

}  // namespace

class TestListBox : public QObject {
  Q_OBJECT
 private slots:
  void ClickTogglesSelectionAndMovesCaret_data();
  void ClickTogglesSelectionAndMovesCaret();
  void KeysMoveCaretAndKeepItVisible_data();
  void KeysMoveCaretAndKeepItVisible();
  void SetSelOnOneOrEveryLine();
  void InsertStringPlacesLineAndKeepsMarks_data();
  void InsertStringPlacesLineAndKeepsMarks();
  void ResetContentClearsLinesSelectionCaretAndTop();
  void CaretOfAListWithLines();
  void TextRoundTripsThroughTheList();
  void FindContainingReportsNoMatchAsError();
  void VerticalScrollRangeAndTopIndex_data();
  void VerticalScrollRangeAndTopIndex();
  void ScrollBarFollowsAppendsOnceTheEventLoopRuns();
  void HorizontalExtentDefinesRangeAndShiftsText_data();
  void HorizontalExtentDefinesRangeAndShiftsText();
  void SelectedLinesArePaintedHighlighted();
  void IncrementalPaintsMatchAFullPaint_data();
  void IncrementalPaintsMatchAFullPaint();
  void ScrollBarShowsThePositionWhileFollowingAppends();
  void LinesArrivingOnePerPassAreNotPaintedOneByOne();
  void CaretIsFramedWhereKeysAndClicksMoveIt_data();
  void CaretIsFramedWhereKeysAndClicksMoveIt();
  void BothBarsAlwaysShownAndDisabledUntilTheyScroll();
  void IndentIsPaintedAndReadButNotStored();
  void TextStartsAfterTheGutter();
  void GutterTextsStayInTheirColumns();
  void HorizontalScrollLeavesTheGutterInPlace_data();
  void HorizontalScrollLeavesTheGutterInPlace();
  void StampsAndGutterStayOutOfTheText();
  void NullGutterRestoresTheLayout();
};

void TestListBox::ClickTogglesSelectionAndMovesCaret_data() {
  QTest::addColumn<int>("lines");
  QTest::addColumn<int>("top");
  QTest::addColumn<QList<int>>("rows");
  QTest::addColumn<std::vector<int>>("selected");
  QTest::addColumn<int>("caret");
  QTest::newRow("one tap selects") << 30 << 0 << QList<int>{2} << std::vector<int>{2} << 2;
  QTest::newRow("second tap unselects") << 30 << 0 << QList<int>{2, 2} << std::vector<int>{} << 2;
  QTest::newRow("taps accumulate, listed ascending")
      << 30 << 0 << QList<int>{5, 0, 3} << std::vector<int>{0, 3, 5} << 3;
  QTest::newRow("rows count from the top index") << 30 << 7 << QList<int>{1, 9} << std::vector<int>{8, 16} << 16;
  QTest::newRow("tap below the last line does nothing") << 4 << 0 << QList<int>{3, 6} << std::vector<int>{3} << 3;
}

void TestListBox::ClickTogglesSelectionAndMovesCaret() {
  QFETCH(int, lines);
  QFETCH(int, top);
  QFETCH(QList<int>, rows);
  QFETCH(std::vector<int>, selected);
  QFETCH(int, caret);
  CFixture f(lines);
  QVERIFY(f.Exposed());
  f.List().SetTopIndex(top);
  for (int row : rows) f.ClickRow(row);
  QCOMPARE(SelectedOf(f.List()), selected);
  QCOMPARE(f.List().GetSelCount(), int(selected.size()));
  QCOMPARE(f.List().GetCurSel(), caret);
  QCOMPARE(f.List().GetTopIndex(), top);
}

void TestListBox::KeysMoveCaretAndKeepItVisible_data() {
  QTest::addColumn<QList<int>>("keys");
  QTest::addColumn<int>("caret");
  QTest::addColumn<int>("top");
  QTest::addColumn<std::vector<int>>("selected");
  QTest::newRow("down three") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << 3 << 0 << std::vector<int>{};
  QTest::newRow("up stops at the first line") << QList<int>{Qt::Key_Up} << 0 << 0 << std::vector<int>{};
  QTest::newRow("end shows the last line at the bottom") << QList<int>{Qt::Key_End} << 29 << 20 << std::vector<int>{};
  QTest::newRow("down stops at the last line")
      << QList<int>{Qt::Key_End, Qt::Key_Down} << 29 << 20 << std::vector<int>{};
  QTest::newRow("home after end") << QList<int>{Qt::Key_End, Qt::Key_Home} << 0 << 0 << std::vector<int>{};
  QTest::newRow("page down keeps one row") << QList<int>{Qt::Key_PageDown} << 9 << 0 << std::vector<int>{};
  QTest::newRow("second page down scrolls")
      << QList<int>{Qt::Key_PageDown, Qt::Key_PageDown} << 18 << 9 << std::vector<int>{};
  QTest::newRow("page up from the end") << QList<int>{Qt::Key_End, Qt::Key_PageUp} << 20 << 20 << std::vector<int>{};
  QTest::newRow("space toggles the caret line")
      << QList<int>{Qt::Key_Down, Qt::Key_Space} << 1 << 0 << std::vector<int>{1};
  QTest::newRow("space twice unselects") << QList<int>{Qt::Key_Space, Qt::Key_Space} << 0 << 0 << std::vector<int>{};
  QTest::newRow("moving keeps the selection")
      << QList<int>{Qt::Key_Space, Qt::Key_End, Qt::Key_Space} << 29 << 20 << std::vector<int>{0, 29};
}

void TestListBox::KeysMoveCaretAndKeepItVisible() {
  QFETCH(QList<int>, keys);
  QFETCH(int, caret);
  QFETCH(int, top);
  QFETCH(std::vector<int>, selected);
  CFixture f(30);
  QVERIFY(f.Exposed());
  for (int key : keys) QTest::keyClick(&f.List(), Qt::Key(key));
  QCOMPARE(f.List().GetCurSel(), caret);
  QCOMPARE(f.List().GetTopIndex(), top);
  QCOMPARE(SelectedOf(f.List()), selected);
}

void TestListBox::SetSelOnOneOrEveryLine() {
  CFixture f(20);
  CListBox& list = f.List();
  QCOMPARE(list.SetSel(true, -1), 0);
  QCOMPARE(list.GetSelCount(), 20);
  QCOMPARE(list.GetSelItems(3), (std::vector<int>{0, 1, 2}));
  QCOMPARE(list.SetSel(false, -1), 0);
  QCOMPARE(list.GetSelCount(), 0);
  QCOMPARE(list.SetSel(true, 20), LB_ERR);
  QCOMPARE(list.SetSel(true, -2), LB_ERR);
  QCOMPARE(list.SetSel(true, 12), 0);
  QVERIFY(list.GetSel(12));
  QCOMPARE(list.GetCurSel(), 0);  // the caret stays where it was
  QCOMPARE(list.SetSel(false, 12), 0);
  QVERIFY(!list.GetSel(12));
  QVERIFY(!list.GetSel(99));
  QCOMPARE(list.SelItemRange(true, 15, 3), 0);  // ends in either order
  QCOMPARE(list.GetSelCount(), 13);
  QCOMPARE(list.SelItemRange(false, 4, 14), 0);
  QCOMPARE(list.GetSelItems(20), (std::vector<int>{3, 15}));
  QCOMPARE(list.SelItemRange(true, 0, 20), LB_ERR);
  QCOMPARE(list.SelItemRange(true, -1, 3), LB_ERR);
  QCOMPARE(list.GetSelCount(), 2);
  QCOMPARE(list.GetCurSel(), 0);
}

void TestListBox::InsertStringPlacesLineAndKeepsMarks_data() {
  QTest::addColumn<int>("index");
  QTest::addColumn<int>("result");
  QTest::addColumn<int>("caretAfter");
  // Lines 0..4, line 3 selected and the caret.
  QTest::newRow("-1 appends") << -1 << 5 << 3;
  QTest::newRow("at the front") << 0 << 0 << 4;
  QTest::newRow("at the caret line") << 3 << 3 << 4;
  QTest::newRow("after the caret line") << 4 << 4 << 3;
  QTest::newRow("at the count appends") << 5 << 5 << 3;
  QTest::newRow("past the count") << 6 << int(LB_ERR) << 3;
  QTest::newRow("below -1") << -2 << int(LB_ERR) << 3;
}

void TestListBox::InsertStringPlacesLineAndKeepsMarks() {
  QFETCH(int, index);
  QFETCH(int, result);
  QFETCH(int, caretAfter);
  CFixture f(5);
  CListBox& list = f.List();
  f.ClickRow(3);
  QCOMPARE(list.InsertString(index, QStringLiteral("new")), result);
  QCOMPARE(list.GetCount(), result == LB_ERR ? 5 : 6);
  if (result != LB_ERR) QCOMPARE(list.GetText(result), QStringLiteral("new"));
  QCOMPARE(list.GetCurSel(), caretAfter);
  QCOMPARE(SelectedOf(list), std::vector<int>{caretAfter});
  QCOMPARE(list.GetText(caretAfter), QStringLiteral("line 3"));
}

void TestListBox::ResetContentClearsLinesSelectionCaretAndTop() {
  CFixture f(50);
  CListBox& list = f.List();
  list.SetHorizontalExtent(500);
  list.SetSel(true, -1);
  list.SetCaretIndex(45);
  QCOMPARE(list.GetTopIndex(), 36);
  list.ResetContent();
  QCOMPARE(list.GetCount(), 0);
  QCOMPARE(list.GetSelCount(), 0);
  QCOMPARE(list.GetCurSel(), LB_ERR);
  QCOMPARE(list.GetTopIndex(), 0);
  int minPos = -1, maxPos = -1;
  list.GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
  QCOMPARE(maxPos, 0);
  QCOMPARE(list.GetHorizontalExtent(), 500);  // the owner's to change
  QCOMPARE(list.AddString(QStringLiteral("first again")), 0);
  QVERIFY(!list.GetSel(0));
  QCOMPARE(list.GetCurSel(), 0);
}

void TestListBox::CaretOfAListWithLines() {
  CFixture f(0);
  CListBox& list = f.List();
  QCOMPARE(list.GetCurSel(), LB_ERR);
  list.SetCaretIndex(0);  // nothing to put it on
  QCOMPARE(list.GetCurSel(), LB_ERR);
  list.AddString(QStringLiteral("a"));
  QCOMPARE(list.GetCurSel(), 0);
  for (int i = 0; i < 40; ++i) list.AddString(QStringLiteral("b"));
  list.SetCaretIndex(40);
  QCOMPARE(list.GetCurSel(), 40);
  QCOMPARE(list.GetTopIndex(), 31);
  list.SetCaretIndex(41);  // out of range: unchanged
  QCOMPARE(list.GetCurSel(), 40);
}

void TestListBox::TextRoundTripsThroughTheList() {
  CFixture f(0);
  CListBox& list = f.List();
  const QStringList lines = {
      QStringLiteral("\u00e9t\u00e9"),    QString(QChar(0x20AC)),        QString(),
      QString::fromUcs4(U"a\U00010348b"), QString(70000, QChar(0x0100)), QString(70000, QLatin1Char('q'))};
  for (const QString& line : lines) list.AddString(line);
  for (int i = 0; i < lines.size(); ++i) {
    QCOMPARE(list.GetText(i), lines[i]);
    QCOMPARE(list.GetTextLen(i), lines[i].size());
  }
  QCOMPARE(list.GetTextLen(int(lines.size())), LB_ERR);
  QCOMPARE(list.GetTextLen(-1), LB_ERR);
  QVERIFY(list.GetText(99).isNull());
  QVERIFY(list.LineContains(4, 0x0100));
  QVERIFY(!list.LineContains(5, 0x0100));
  QVERIFY(!list.LineContains(6, u'q'));
}

void TestListBox::FindContainingReportsNoMatchAsError() {
  CFixture f(0);
  CListBox& list = f.List();
  for (const char16_t* line : {u"Entering R\u00e9sum\u00e9()", u"plain", u"R\u00c9SUM\u00c9 done"})
    list.AddString(QString::fromUtf16(line));
  QCOMPARE(list.FindContaining(0, 1, u"r\u00e9sum\u00e9", Qt::CaseInsensitive), 0);
  QCOMPARE(list.FindContaining(1, 1, u"r\u00e9sum\u00e9", Qt::CaseInsensitive), 2);
  QCOMPARE(list.FindContaining(1, 1, u"R\u00e9sum\u00e9", Qt::CaseSensitive), LB_ERR);
  QCOMPARE(list.FindContaining(2, -1, u"plain", Qt::CaseSensitive), 1);
  QCOMPARE(list.FindContaining(0, -1, u"plain", Qt::CaseSensitive), LB_ERR);
}

void TestListBox::VerticalScrollRangeAndTopIndex_data() {
  QTest::addColumn<int>("lines");
  QTest::addColumn<int>("requestedTop");
  QTest::addColumn<int>("maxPos");
  QTest::addColumn<int>("topAfter");
  QTest::addColumn<int>("result");
  QTest::newRow("fewer lines than rows") << 4 << 3 << 0 << 0 << 0;
  QTest::newRow("exactly one page") << 10 << 0 << 0 << 0 << 0;
  QTest::newRow("one more than a page") << 11 << 1 << 1 << 1 << 0;
  QTest::newRow("middle") << 100 << 40 << 90 << 40 << 0;
  QTest::newRow("near the end stays full") << 100 << 95 << 90 << 90 << 0;
  QTest::newRow("last valid top") << 100 << 90 << 90 << 90 << 0;
  QTest::newRow("past the last line") << 100 << 100 << 90 << 0 << int(LB_ERR);
  QTest::newRow("negative") << 100 << -1 << 90 << 0 << int(LB_ERR);
}

void TestListBox::VerticalScrollRangeAndTopIndex() {
  QFETCH(int, lines);
  QFETCH(int, requestedTop);
  QFETCH(int, maxPos);
  QFETCH(int, topAfter);
  QFETCH(int, result);
  CFixture f(lines);
  CListBox& list = f.List();
  int minPos = -1, maxGot = -1;
  list.GetScrollRange(zef::SB_VERT, &minPos, &maxGot);
  QCOMPARE(minPos, 0);
  QCOMPARE(maxGot, maxPos);
  QCOMPARE(list.SetTopIndex(requestedTop), result);
  QCOMPARE(list.GetTopIndex(), topAfter);
  QCOMPARE(list.GetScrollPos(zef::SB_VERT), topAfter);
  // The owner's scroll-to-end: position at the maximum, then SB_BOTTOM.
  list.SetScrollPos(zef::SB_VERT, maxGot, true);
  list.OnVScroll(zef::SB_BOTTOM);
  QCOMPARE(list.GetTopIndex(), maxPos);
  list.OnVScroll(zef::SB_TOP);
  QCOMPARE(list.GetTopIndex(), 0);
  list.OnVScroll(zef::SB_PAGEDOWN);
  QCOMPARE(list.GetTopIndex(), std::min(kVisibleRows, maxPos));
  list.OnVScroll(zef::SB_LINEUP);
  QCOMPARE(list.GetTopIndex(), std::max(0, std::min(kVisibleRows, maxPos) - 1));
}

void TestListBox::ScrollBarFollowsAppendsOnceTheEventLoopRuns() {
  CFixture f(0);
  CListBox& list = f.List();
  for (int i = 0; i < 1000; ++i) list.AddString(QStringLiteral("x"));
  int minPos = 0, maxPos = 0;
  list.GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
  QCOMPARE(maxPos, 1000 - kVisibleRows);  // computed, not read from the bar
  QTRY_COMPARE(list.verticalScrollBar()->maximum(), 1000 - kVisibleRows);
  // A user moving the bar moves the list.
  list.verticalScrollBar()->setValue(123);
  QCOMPARE(list.GetTopIndex(), 123);
}

void TestListBox::HorizontalExtentDefinesRangeAndShiftsText_data() {
  QTest::addColumn<int>("extent");
  QTest::addColumn<int>("requested");
  QTest::addColumn<int>("maxPos");
  QTest::addColumn<int>("pos");
  QTest::newRow("narrower than the view") << kWidth - 50 << 30 << 0 << 0;
  QTest::newRow("as wide as the view") << kWidth << 30 << 0 << 0;
  QTest::newRow("wider, within range") << kWidth + 100 << 30 << 100 << 30;
  QTest::newRow("wider, clamped") << kWidth + 100 << 500 << 100 << 100;
}

void TestListBox::HorizontalExtentDefinesRangeAndShiftsText() {
  QFETCH(int, extent);
  QFETCH(int, requested);
  QFETCH(int, maxPos);
  QFETCH(int, pos);
  CFixture f(0);
  CListBox& list = f.List();
  QVERIFY(f.Exposed());
  list.AddString(QStringLiteral("Wide text: 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  // The caret's frame spans the row and does not scroll: it goes elsewhere.
  list.AddString(QString());
  list.SetCaretIndex(1);
  list.SetHorizontalExtent(extent);
  int minPos = -1, maxGot = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxGot);
  QCOMPARE(maxGot, maxPos);
  const QImage before = f.Grab();
  QCOMPARE(list.SetScrollPos(zef::SB_HORZ, requested, true), 0);
  QCOMPARE(list.GetScrollPos(zef::SB_HORZ), pos);
  const QImage after = f.Grab();
  // The painted row moved left by exactly the scroll position.
  const int y0 = 0, y1 = f.RowHeight();
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x + pos < before.width(); ++x)
      if (after.pixel(x, y) != before.pixel(x + pos, y))
        QFAIL(qPrintable(QStringLiteral("pixel %1,%2 not shifted by %3").arg(x).arg(y).arg(pos)));
}

void TestListBox::SelectedLinesArePaintedHighlighted() {
  CFixture f(5);
  QVERIFY(f.Exposed());
  f.List().SetSel(true, 1);
  const QImage image = f.Grab();
  const QColor highlight = f.List().palette().color(QPalette::Highlight);
  const QColor base = f.List().palette().color(QPalette::Base);
  const int x = kWidth - 3;  // right of the text, inside any focus frame
  QCOMPARE(image.pixelColor(x, f.RowHeight() + f.RowHeight() / 2), highlight);
  QCOMPARE(image.pixelColor(x, f.RowHeight() / 2), base);
  QCOMPARE(image.pixelColor(x, 3 * f.RowHeight() + f.RowHeight() / 2), base);
}

void TestListBox::IncrementalPaintsMatchAFullPaint_data() {
  // Each step changes the view and lets only the changed part be painted
  // (a pixel scroll plus the uncovered strip, or single rows); what is on
  // screen afterwards must equal a fresh paint of the whole view.
  QTest::addColumn<QString>("step");
  QTest::addColumn<bool>("gutter");
  for (const char* step : {"line down", "line up", "two moves before one paint", "append at the end and follow",
                           "append into empty rows", "toggle by click", "caret down by key", "scroll right",
                           "scroll right, caret shown", "scroll back left, caret shown"}) {
    QTest::newRow(step) << QString::fromLatin1(step) << false;
    QTest::newRow(qPrintable(QStringLiteral("%1, with a gutter").arg(QLatin1String(step))))
        << QString::fromLatin1(step) << true;
  }
}

void TestListBox::IncrementalPaintsMatchAFullPaint() {
  QFETCH(QString, step);
  QFETCH(bool, gutter);
  CFixture f(step == QLatin1String("append into empty rows") ? 3 : 40);
  QVERIFY(f.Exposed());
  CListBox& list = f.List();
  const CIndexGutter indexGutter;
  if (gutter) list.SetGutter(&indexGutter);
  list.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&list));
  list.setFocus();
  QTRY_VERIFY(list.hasFocus());
  list.SetHorizontalExtent(kWidth * 2);
  list.AddString(QStringLiteral("a long line: 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  for (int i : {3, 4, 12}) list.SetSel(true, i);
  list.SetTopIndex(5);
  const CPaintClock clock(list.viewport());
  QCoreApplication::processEvents();  // pending updates painted first
  QTRY_VERIFY(clock.QuietForAFrame());
  if (step == QLatin1String("line down")) {
    list.OnVScroll(zef::SB_LINEDOWN);
  } else if (step == QLatin1String("line up")) {
    list.OnVScroll(zef::SB_LINEUP);
  } else if (step == QLatin1String("two moves before one paint")) {
    list.OnVScroll(zef::SB_LINEDOWN);
    list.OnVScroll(zef::SB_LINEDOWN);
  } else if (step == QLatin1String("append at the end and follow")) {
    list.OnVScroll(zef::SB_BOTTOM);
    QCoreApplication::processEvents();
    QTRY_VERIFY(clock.QuietForAFrame());
    list.AddString(QStringLiteral("appended"));
    int minPos = 0, maxPos = 0;
    list.GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
    list.SetScrollPos(zef::SB_VERT, maxPos, true);
    list.OnVScroll(zef::SB_BOTTOM);
  } else if (step == QLatin1String("append into empty rows")) {
    list.AddString(QStringLiteral("appended"));
  } else if (step == QLatin1String("toggle by click")) {
    f.ClickRow(2);
  } else if (step == QLatin1String("caret down by key")) {
    QTest::keyClick(&list, Qt::Key_Down);
  } else if (step == QLatin1String("scroll right")) {
    list.SetScrollPos(zef::SB_HORZ, 17, true);
  } else if (step == QLatin1String("scroll right, caret shown")) {
    list.SetCaretIndex(7);
    QCoreApplication::processEvents();
    QTRY_VERIFY(clock.QuietForAFrame());
    list.SetScrollPos(zef::SB_HORZ, 17, true);
  } else if (step == QLatin1String("scroll back left, caret shown")) {
    list.SetCaretIndex(7);
    list.SetScrollPos(zef::SB_HORZ, 40, true);
    QCoreApplication::processEvents();
    QTRY_VERIFY(clock.QuietForAFrame());
    list.SetScrollPos(zef::SB_HORZ, 11, true);
  }
  // Painting is paced to the refresh rate: the screen catches up within a
  // frame or two.
  const QImage fresh = f.Grab().convertToFormat(QImage::Format_RGB32);
  const auto onScreen = [&] {
    return list.screen()->grabWindow(list.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  };
  QTRY_VERIFY(onScreen() == fresh);
}

void TestListBox::ScrollBarShowsThePositionWhileFollowingAppends() {
  // The vertical bar skips repaints that would not change it; after each
  // step of following appended lines, the whole widget on screen (bars
  // included) must equal a fresh paint of it.
  CListBox list;
  list.resize(kWidth, 120);
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  for (int i = 0; i < 300; ++i) {
    list.AddString(QStringLiteral("line %1").arg(i));
    int minPos = 0, maxPos = 0;
    list.GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
    list.SetScrollPos(zef::SB_VERT, maxPos, true);
    list.OnVScroll(zef::SB_BOTTOM);
    QCoreApplication::processEvents();
    if (i % 7 != 0) continue;
    const QImage fresh = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto onScreen = [&] {
      return list.screen()->grabWindow(list.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    QTRY_VERIFY2(onScreen() == fresh, qPrintable(QStringLiteral("screen differs after %1 lines").arg(i + 1)));
  }
  QVERIFY(list.verticalScrollBar()->isVisible());
  QTRY_COMPARE(list.verticalScrollBar()->value(), list.GetTopIndex());
}

namespace {
class CPaintCounter : public QObject {
 public:
  int m_nPaints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++m_nPaints;
    return false;
  }
};
}  // namespace

void TestListBox::LinesArrivingOnePerPassAreNotPaintedOneByOne() {
  // A trace client hands over one line per event-loop pass; with scrolling
  // after each line the list must still paint at the refresh rate, not per
  // line, and end up showing the last line.
  CListBox list;
  list.resize(kWidth, 120);
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  CPaintCounter counter;
  list.viewport()->installEventFilter(&counter);
  constexpr int kLines = 400;
  for (int i = 0; i < kLines; ++i) {
    list.AddString(QStringLiteral("line %1").arg(i));
    list.OnVScroll(zef::SB_BOTTOM);
    QCoreApplication::processEvents();
  }
  QVERIFY2(counter.m_nPaints < kLines / 4, qPrintable(QString::number(counter.m_nPaints)));
  const QImage fresh = list.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QTRY_VERIFY(list.screen()->grabWindow(list.winId()).toImage().convertToFormat(QImage::Format_RGB32) == fresh);
}

namespace {
// The visible rows whose left edge shows the caret's frame: a pixel of the
// row's ink (text colour, or highlighted-text colour on a selected row) in
// the column left of the text.
QList<int> FramedRows(CFixture& f) {
  const QImage image = f.Grab();
  const QPalette& pal = f.List().palette();
  QList<int> rows;
  for (int row = 0; row < kVisibleRows; ++row) {
    const int index = f.List().GetTopIndex() + row;
    const QColor ink = pal.color(f.List().GetSel(index) ? QPalette::HighlightedText : QPalette::Text);
    for (int y = row * f.RowHeight(); y < (row + 1) * f.RowHeight(); ++y)
      if (image.pixelColor(0, y) == ink) {
        rows << index;
        break;
      }
  }
  return rows;
}
}  // namespace

void TestListBox::CaretIsFramedWhereKeysAndClicksMoveIt_data() {
  QTest::addColumn<QStringList>("steps");  // "key:<n>" for a key code, "click:<row>"
  QTest::addColumn<int>("caret");
  QTest::addColumn<bool>("focused");
  const auto key = [](int code) { return QStringLiteral("key:%1").arg(code); };
  QTest::newRow("first line at the start") << QStringList{} << 0 << true;
  QTest::newRow("down twice") << QStringList{key(Qt::Key_Down), key(Qt::Key_Down)} << 2 << true;
  QTest::newRow("click selects and frames") << QStringList{QStringLiteral("click:5")} << 5 << true;
  QTest::newRow("second click unselects, frame stays")
      << QStringList{QStringLiteral("click:5"), QStringLiteral("click:5")} << 5 << true;
  QTest::newRow("selected by space") << QStringList{key(Qt::Key_Down), key(Qt::Key_Space)} << 1 << true;
  QTest::newRow("end scrolls, frame on the last line") << QStringList{key(Qt::Key_End)} << 29 << true;
  QTest::newRow("click then key up") << QStringList{QStringLiteral("click:7"), key(Qt::Key_Up)} << 6 << true;
  QTest::newRow("without the focus") << QStringList{QStringLiteral("click:3")} << 3 << false;
}

void TestListBox::CaretIsFramedWhereKeysAndClicksMoveIt() {
  QFETCH(QStringList, steps);
  QFETCH(int, caret);
  QFETCH(bool, focused);
  CFixture f(30);
  QVERIFY(f.Exposed());
  for (const QString& step : steps) {
    const int value = step.section(u':', 1).toInt();
    if (step.startsWith(QLatin1String("key:"))) QTest::keyClick(&f.List(), Qt::Key(value));
    else f.ClickRow(value);
  }
  if (!focused) f.List().clearFocus();
  QCOMPARE(f.List().GetCurSel(), caret);
  QTRY_COMPARE(FramedRows(f), QList<int>{caret});
}

void TestListBox::BothBarsAlwaysShownAndDisabledUntilTheyScroll() {
  // As the platform's list with LBS_DISABLENOSCROLL: the rows never move
  // because a bar appears, not with the first line that needs scrolling
  // nor with the first line wider than the view.
  CListBox list;
  list.resize(kWidth, 120);
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  QScrollBar* vbar = list.verticalScrollBar();
  QScrollBar* hbar = list.horizontalScrollBar();
  const QSize view = list.viewport()->size();
  QVERIFY(vbar->isVisible() && hbar->isVisible());
  QVERIFY(!vbar->isEnabled() && !hbar->isEnabled());
  const int rows = view.height() / list.viewport()->fontMetrics().height();
  for (int i = 0; i < rows; ++i) list.AddString(QStringLiteral("line %1").arg(i));
  QCoreApplication::processEvents();
  QVERIFY(!vbar->isEnabled());
  list.AddString(QStringLiteral("one more than fits"));
  QTRY_VERIFY(vbar->isEnabled());
  QVERIFY(!hbar->isEnabled());
  list.SetHorizontalExtent(kWidth * 3);
  QTRY_VERIFY(hbar->isEnabled());
  QCOMPARE(list.viewport()->size(), view);
  list.ResetContent();
  list.SetHorizontalExtent(5);
  QTRY_VERIFY(!vbar->isEnabled() && !hbar->isEnabled());
  QVERIFY(vbar->isVisible() && hbar->isVisible());
  QCOMPARE(list.viewport()->size(), view);
}

void TestListBox::IndentIsPaintedAndReadButNotStored() {
  // An indented line is painted as the same text written out: the indent
  // repeated, then the line, at the same places. Reading the line gives the
  // indent as text.
  CFixture indented(0);
  CFixture plain(0);
  QVERIFY(indented.Exposed() && plain.Exposed());
  indented.List().AddString(QString());  // the caret's frame goes on line 0
  plain.List().AddString(QString());
  indented.List().AddIndentedString(QStringLiteral("Wide x"), 3);
  plain.List().AddString(QStringLiteral("      Wide x"));
  indented.List().SetIndentString(QStringLiteral("|."));
  indented.List().AddIndentedString(QStringLiteral("x"), 9);
  plain.List().AddString(QStringLiteral("|.|.|.|.|.|.|.|.|.x"));
  QCOMPARE(indented.List().GetText(1), QStringLiteral("      Wide x"));  // keeps its indent
  QCOMPARE(indented.List().GetTextLen(1), 12);
  QCOMPARE(indented.List().GetText(2), QStringLiteral("|.|.|.|.|.|.|.|.|.x"));
  QCOMPARE(indented.Grab(), plain.Grab());
}

namespace {
// A font without antialiasing, so that every inked pixel has the pen's
// colour exactly.
void UseCrispFont(CListBox& list) {
  QFont font = list.font();
  font.setStyleStrategy(QFont::NoAntialias);
  list.setFont(font);
}
}  // namespace

void TestListBox::TextStartsAfterTheGutter() {
  // The same lines with and without a gutter: with it, each text row is
  // the plain row moved right by the gutter's width, which is wider than its
  // columns' samples; the gutter is painted in the muted colour; a selected
  // row is highlighted right of the gutter only.
  CFixture plain(0);
  CFixture gutter(0);
  QVERIFY(plain.Exposed() && gutter.Exposed());
  const CIndexGutter columns(&gutter.List());
  for (CFixture* f : {&plain, &gutter}) {
    UseCrispFont(f->List());
    f->List().AddString(QString());  // the caret's frame goes on line 0
    for (int i = 1; i < 5; ++i) f->List().AddString(QStringLiteral("Text %1").arg(i));
  }
  gutter.List().SetGutter(&columns);
  QPalette pal = gutter.List().palette();
  pal.setColor(QPalette::PlaceholderText, Qt::red);
  gutter.List().setPalette(pal);
  gutter.List().SetSel(true, 3);
  plain.List().SetSel(true, 3);
  const QImage before = plain.Grab();
  const QImage after = gutter.Grab();
  const int row = plain.RowHeight();
  const QFontMetrics metrics = gutter.List().viewport()->fontMetrics();
  const int samples =
      metrics.horizontalAdvance(QStringLiteral("#000")) + metrics.horizontalAdvance(QStringLiteral("s00"));
  int shift = -1;
  for (int dx = samples; dx < kWidth / 2 && shift < 0; ++dx)
    if (SameStrip(after, dx, before, 0, kWidth - dx, row, 5 * row)) shift = dx;
  QVERIFY2(shift > samples, qPrintable(QString::number(shift)));
  const QColor base = pal.color(QPalette::Base);
  for (int line = 1; line < 5; ++line) {
    // Each row's gutter holds its texts, in the muted colour only.
    const auto [first, last] = InkColumns(after.copy(0, line * row, shift, row), 0, row, base);
    QVERIFY(first >= 0);
    for (int x = first; x <= last; ++x)
      for (int y = line * row; y < (line + 1) * row; ++y) {
        const QColor c = after.pixelColor(x, y);
        if (c != base && c != QColor(Qt::red))
          QFAIL(qPrintable(QStringLiteral("gutter pixel %1,%2 is %3").arg(x).arg(y).arg(c.name())));
      }
  }
  QCOMPARE(after.pixelColor(1, 3 * row + row / 2), base);
  QCOMPARE(after.pixelColor(kWidth - 3, 3 * row + row / 2), pal.color(QPalette::Highlight));
  // A tap in the gutter acts on its row.
  QTest::mouseClick(gutter.List().viewport(), Qt::LeftButton, {}, QPoint(3, 2 * row + row / 2));
  QCOMPARE(SelectedOf(gutter.List()), (std::vector<int>{2, 3}));
  QCOMPARE(gutter.List().GetCurSel(), 2);
}

namespace {
// A gutter of two columns whose texts are given per line.
class CFixedGutter final : public zef::IListGutter {
 public:
  std::vector<SColumn> Columns() const override { return m_vColumns; }
  void RowTexts(int index, std::vector<QString>& texts) const override {
    texts[0] = m_vRows[std::size_t(index)].first;
    texts[1] = m_vRows[std::size_t(index)].second;
  }
  std::vector<SColumn> m_vColumns;
  std::vector<std::pair<QString, QString>> m_vRows;
};
}  // namespace

void TestListBox::GutterTextsStayInTheirColumns() {
  // A right-aligned text ends where its column ends, whatever its length; a
  // text wider than its column's sample is cut with "…" inside the column.
  CFixture f(0);
  QVERIFY(f.Exposed());
  CListBox& list = f.List();
  UseCrispFont(list);
  CFixedGutter gutter;
  gutter.m_vColumns = {{QStringLiteral("#0"), false}, {QStringLiteral("s0000"), true}};
  gutter.m_vRows = {{QString(), QString()},  // the caret's row
                    {QStringLiteral("#1"), QStringLiteral("s0")},
                    {QStringLiteral("#2"), QStringLiteral("s0000")},
                    {QStringLiteral("#10000"), QString()},
                    {QString(), QString(1 << 20, u'W')}};  // a name as long as a client may tell
  for (std::size_t i = 0; i < gutter.m_vRows.size(); ++i) list.AddString(QString());
  list.SetGutter(&gutter);
  const QImage image = f.Grab();
  const QColor base = list.palette().color(QPalette::Base);
  const int row = f.RowHeight();
  const auto [oneFirst, oneLast] = InkColumns(image, row, 2 * row, base);
  const auto [twoFirst, twoLast] = InkColumns(image, 2 * row, 3 * row, base);
  QVERIFY(oneFirst >= 0 && twoFirst >= 0);
  QCOMPARE(oneLast, twoLast);
  const int columnWidth = list.viewport()->fontMetrics().horizontalAdvance(QStringLiteral("#0"));
  const auto [cutFirst, cutLast] = InkColumns(image, 3 * row, 4 * row, base);
  QCOMPARE(cutFirst, oneFirst);
  QVERIFY2(cutLast < oneFirst + columnWidth,
           qPrintable(QStringLiteral("%1 >= %2").arg(cutLast).arg(oneFirst + columnWidth)));
  const auto [longFirst, longLast] = InkColumns(image, 4 * row, 5 * row, base);
  QVERIFY(longFirst > oneFirst + columnWidth);
  QVERIFY(longLast <= oneLast);
  // The cut text is the ellipsis form, not the first letters alone.
  gutter.m_vRows[3].first =
      list.viewport()->fontMetrics().elidedText(QStringLiteral("#10000"), Qt::ElideRight, columnWidth);
  QVERIFY(gutter.m_vRows[3].first.endsWith(QChar(0x2026)));
  list.GutterChanged();
  QCOMPARE(f.Grab(), image);
}

void TestListBox::HorizontalScrollLeavesTheGutterInPlace_data() {
  QTest::addColumn<int>("extent");
  QTest::addColumn<int>("requested");
  QTest::addColumn<int>("pos");
  QTest::newRow("within range") << kWidth + 100 << 30 << 30;
  QTest::newRow("clamped to the text area's range") << kWidth + 100 << 500 << -1;  // -1: the range's end
}

void TestListBox::HorizontalScrollLeavesTheGutterInPlace() {
  QFETCH(int, extent);
  QFETCH(int, requested);
  QFETCH(int, pos);
  CFixture f(0);
  QVERIFY(f.Exposed());
  CListBox& list = f.List();
  const CIndexGutter gutter(&list);
  list.AddString(QStringLiteral("Wide text: 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  list.AddString(QString());
  list.SetCaretIndex(1);
  list.SetHorizontalExtent(extent);
  int minPos = -1, maxPlain = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxPlain);
  QCOMPARE(maxPlain, extent - kWidth);
  list.SetGutter(&gutter);
  const QImage before = f.Grab();
  // The range is the extent less the text area's width, so it grew by the
  // gutter's width: where the text area begins.
  int maxGutter = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxGutter);
  const int textLeft = maxGutter - maxPlain;
  QVERIFY(textLeft > 0);
  if (pos < 0) pos = maxGutter;
  QCOMPARE(list.SetScrollPos(zef::SB_HORZ, requested, true), 0);
  QCOMPARE(list.GetScrollPos(zef::SB_HORZ), pos);
  const QImage after = f.Grab();
  const int row = f.RowHeight();
  // The gutter as it was, nothing of the text drawn over it; the text area
  // moved by the scroll position.
  QVERIFY(SameStrip(after, 0, before, 0, textLeft, 0, row));
  QVERIFY(SameStrip(after, textLeft, before, textLeft + pos, kWidth - textLeft - pos, 0, row));
}

void TestListBox::StampsAndGutterStayOutOfTheText() {
  // Stamps travel with their lines through add, insert and reset; neither
  // they nor the gutter's texts are ever part of a line.
  CFixture f(0);
  CListBox& list = f.List();
  const CIndexGutter gutter(&list);
  list.SetGutter(&gutter);
  const zef::SLineStamp enter{1718000000000000, 12, -1};
  const zef::SLineStamp leave{1718000000000500, 12, 500};
  const zef::SLineStamp earlier{1717990000000000, 9, -1};
  QCOMPARE(list.AddIndentedString(QStringLiteral("Parse() {"), 0, enter), 0);
  QCOMPARE(list.AddIndentedString(QStringLiteral("} Parse()"), 1, leave), 1);
  QCOMPARE(list.InsertIndentedString(1, QStringLiteral("between"), 0, earlier), 1);
  QCOMPARE(list.AddString(QStringLiteral("plain")), 3);
  QVERIFY(f.Exposed());
  const std::vector<zef::SLineStamp> stamps{enter, earlier, leave, {}, {}, {}};
  for (int i : {0, 1, 2, 3, 4, -1}) QCOMPARE(list.GetStamp(i), stamps[std::size_t(i < 0 ? 5 : i)]);
  QCOMPARE(list.GetText(2), QStringLiteral("  } Parse()"));
  QCOMPARE(list.GetTextLen(2), 11);
  QCOMPARE(list.FindContaining(0, 1, u"#1", Qt::CaseSensitive), LB_ERR);
  QCOMPARE(list.FindContaining(3, -1, u"s12", Qt::CaseInsensitive), LB_ERR);
  QCOMPARE(list.FindContaining(0, 1, u"} Parse", Qt::CaseSensitive), 2);
  QVERIFY(!list.LineContains(0, u'#'));
  QVERIFY(!list.LineContains(2, u'1'));
  list.ResetContent();
  list.AddString(QStringLiteral("again"));
  QCOMPARE(list.GetStamp(0), zef::SLineStamp{});
}

void TestListBox::NullGutterRestoresTheLayout() {
  // Setting a gutter, widening it, and taking it away again: the view and
  // the scroll range are as they were before any gutter.
  CFixture f(0);
  QVERIFY(f.Exposed());
  CListBox& list = f.List();
  for (int i = 0; i < 5; ++i) list.AddString(QStringLiteral("Line %1 of text").arg(i));
  list.SetSel(true, 2);
  list.SetHorizontalExtent(kWidth + 40);
  list.SetScrollPos(zef::SB_HORZ, 25, true);
  int minPos = -1, maxBefore = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxBefore);
  const QImage before = f.Grab();
  CIndexGutter gutter(&list);
  list.SetGutter(&gutter);
  const QImage narrow = f.Grab();
  QVERIFY(narrow != before);
  gutter.m_vColumns.push_back({QStringLiteral("a wide third column"), false});
  list.GutterChanged();
  int maxWide = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxWide);
  QVERIFY(maxWide > maxBefore);
  QVERIFY(f.Grab() != narrow);
  gutter.m_vColumns.clear();  // no columns: no gutter either
  list.GutterChanged();
  QCOMPARE(f.Grab(), before);
  list.SetGutter(&gutter);
  list.SetGutter(nullptr);
  int maxAfter = -1;
  list.GetScrollRange(zef::SB_HORZ, &minPos, &maxAfter);
  QCOMPARE(maxAfter, maxBefore);
  QCOMPARE(list.GetScrollPos(zef::SB_HORZ), 25);
  QCOMPARE(f.Grab(), before);
}

QTEST_MAIN(TestListBox)
#include "tst_listbox.moc"
