// The list box with a line filter: every operation counts shown lines, lines
// are judged as they arrive, and marks, caret and top survive filter changes.
#include <QtTest>

#include "platform/listbox/linesearch.h"
#include "platform/listbox/listbox.h"
#include "tests/platform/listbox/listfixture.h"

#include <set>

using zef::CListBox;
using zef::LB_ERR;
using zef::SHeldLine;
using namespace zef::test;

namespace {

using Operation = std::function<int(CListBox&)>;

// Lines "line <i>" with sender i; the filter shows every third held line.
constexpr int kLines = 40;
bool EveryThird(const SHeldLine& line) { return line.nIndex % 3 == 0; }

void FillStamped(CListBox& list, int lines) {
  for (int i = 0; i < lines; ++i)
    list.AddIndentedString(QStringLiteral("line %1").arg(i), 0, {0, std::uint32_t(i), -1});
}

// A filter on the own text, as the filter bar's words judge it.
CListBox::LineFilter Holding(const QString& needle) {
  return [search = std::make_shared<zef::CLineSearch>(needle, Qt::CaseInsensitive),
          kept = needle](const SHeldLine& line) { return search->In(line.text); };
}

class CRecordingGutter final : public zef::IListGutter {
 public:
  std::vector<SColumn> Columns() const override { return {{QStringLiteral("000"), false}}; }
  void RowTexts(int index, std::vector<QString>& texts) const override {
    m_asked.insert(index);
    texts[0] = QString::number(index);
  }
  mutable std::set<int> m_asked;
};

}  // namespace

Q_DECLARE_METATYPE(Operation)

class TestListBoxFilter : public QObject {
  Q_OBJECT
 private slots:
  void EveryOperationCountsShownLines_data();
  void EveryOperationCountsShownLines();
  void GutterIsAskedForShownRows();
  void LinesAddedUnderAFilterAreJudgedAtOnce();
  void NarrowingAgreesWithJudgingEveryLine();
  void MarksCaretAndTopAcrossFilterChanges();
  void ClearingTheFilterShowsEveryLineAgain();
  void RowBackgroundOnlyWhereAsked();
};

void TestListBoxFilter::EveryOperationCountsShownLines_data() {
  QTest::addColumn<Operation>("operation");
  QTest::addColumn<int>("expected");
  // Shown line k is held line 3k: "line 3k", sender 3k; 14 shown.
  auto row = [](const char* name, int expected, Operation op) { QTest::newRow(name) << op << expected; };
  row("GetCount", 14, [](CListBox& l) { return l.GetCount(); });
  row("GetHeldCount", kLines, [](CListBox& l) { return l.GetHeldCount(); });
  row("GetText", 1, [](CListBox& l) { return int(l.GetText(2) == QStringLiteral("line 6")); });
  row("GetOwnText", 1, [](CListBox& l) { return int(l.GetOwnText(13) == QStringLiteral("line 39")); });
  row("GetText past the shown", 1, [](CListBox& l) { return int(l.GetText(14).isEmpty()); });
  row("GetTextLen", 7, [](CListBox& l) { return l.GetTextLen(4); });
  row("GetTextLen past the shown", LB_ERR, [](CListBox& l) { return l.GetTextLen(14); });
  row("GetStamp", 15, [](CListBox& l) { return int(l.GetStamp(5).nSender); });
  row("LineContains", 1, [](CListBox& l) { return int(l.LineContains(3, u'9') && !l.LineContains(3, u'8')); });
  row("HeldIndex", 21, [](CListBox& l) { return l.HeldIndex(7); });
  row("HeldIndex past the shown", LB_ERR, [](CListBox& l) { return l.HeldIndex(14); });
  row("ShownIndex", 7, [](CListBox& l) { return l.ShownIndex(21); });
  row("ShownIndex of a hidden line", LB_ERR, [](CListBox& l) { return l.ShownIndex(22); });
  // "line 2" is held line 2 (hidden), then 20 .. 29: the first shown is 21.
  row("Find forward over hidden hits", 7, [](CListBox& l) { return l.FindContaining(0, 1, u"line 2", {}); });
  row("Find backward over hidden hits", 6, [](CListBox& l) { return l.FindContaining(13, -1, u"line 1", {}); });
  row("Find with only hidden hits", LB_ERR, [](CListBox& l) { return l.FindContaining(0, 1, u"line 5", {}); });
  row("Find from past the shown", LB_ERR, [](CListBox& l) { return l.FindContaining(14, 1, u"line", {}); });
  row("SetCaretIndex and GetCurSel", 13,
      [](CListBox& l) { return l.SetCaretIndex(13), l.SetCaretIndex(14), l.GetCurSel(); });
  row("SetSel every line", 14, [](CListBox& l) { return l.SetSel(true, -1), l.GetSelCount(); });
  row("GetSelCount with more lines marked than shown", 13, [](CListBox& l) {
    l.SetLineFilter({}), l.SetSel(true, -1), l.SetLineFilter(EveryThird), l.SetSel(false, 0);
    return l.GetSelCount();
  });
  row("SetSel one line", 1 + LB_ERR,
      [](CListBox& l) { return l.SetSel(true, 13), int(l.GetSel(13)) + l.SetSel(true, 14); });
  row("SelItemRange and GetSelItems", 1, [](CListBox& l) {
    return l.SelItemRange(true, 2, 4), int(SelectedOf(l) == std::vector<int>{2, 3, 4});
  });
  row("SelItemRange past the shown", LB_ERR, [](CListBox& l) { return l.SelItemRange(true, 2, 14); });
  row("GetSelItems stops at its maximum", 1, [](CListBox& l) {
    return l.SetSel(true, -1), int(l.GetSelItems(2) == std::vector<int>{0, 1});
  });
  row("Vertical scroll range", 14 - kVisibleRows, [](CListBox& l) {
    int lo = 0, hi = 0;
    return l.GetScrollRange(zef::SB_VERT, &lo, &hi), hi;
  });
  row("SetTopIndex clamps to the shown", 14 - kVisibleRows,
      [](CListBox& l) { return l.SetTopIndex(13), l.GetTopIndex(); });
  row("SB_BOTTOM", 14 - kVisibleRows,
      [](CListBox& l) { return l.OnVScroll(zef::SB_BOTTOM), l.GetScrollPos(zef::SB_VERT); });
}

void TestListBoxFilter::EveryOperationCountsShownLines() {
  QFETCH(Operation, operation);
  QFETCH(int, expected);
  CFixture fixture(0);
  FillStamped(fixture.List(), kLines);
  fixture.List().SetLineFilter(EveryThird);
  QCOMPARE(operation(fixture.List()), expected);
}

void TestListBoxFilter::GutterIsAskedForShownRows() {
  CFixture fixture(0);
  CListBox& list = fixture.List();
  FillStamped(list, kLines);
  CRecordingGutter gutter;
  list.SetGutter(&gutter);
  list.SetLineFilter(EveryThird);
  list.SetTopIndex(4);
  gutter.m_asked.clear();
  fixture.Grab();
  QCOMPARE(gutter.m_asked, (std::set<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  list.SetGutter(nullptr);
}

void TestListBoxFilter::LinesAddedUnderAFilterAreJudgedAtOnce() {
  CFixture fixture(0);
  CListBox& list = fixture.List();
  list.SetLineFilter(Holding(QStringLiteral("keep")));
  QCOMPARE(list.AddString(QStringLiteral("keep 0")), 0);
  QCOMPARE(list.AddString(QStringLiteral("drop 1")), LB_ERR);
  QCOMPARE(list.AddString(QStringLiteral("KEEP 2 \u00e9\u4e2d")), 1);
  QCOMPARE(list.GetCount(), 2);
  QCOMPARE(list.GetHeldCount(), 3);
  QCOMPARE(list.GetText(1), QStringLiteral("KEEP 2 \u00e9\u4e2d"));
  // An insert before a shown line moves the held lines after it, hidden or not.
  list.SetCaretIndex(1);
  QCOMPARE(list.InsertString(1, QStringLiteral("drop 3")), LB_ERR);
  QCOMPARE(HeldOfShown(list), (std::vector<int>{0, 3}));
  QCOMPARE(list.InsertString(1, QStringLiteral("keep 4")), 1);
  QCOMPARE(HeldOfShown(list), (std::vector<int>{0, 3, 4}));
  QCOMPARE(list.GetCurSel(), 2);
  QCOMPARE(list.InsertString(-1, QStringLiteral("keep 5")), 3);
  QCOMPARE(list.GetHeldCount(), 6);
  // Emptied, the list keeps its filter for the lines that come next.
  list.ResetContent();
  QCOMPARE(list.GetCount(), 0);
  QCOMPARE(list.AddString(QStringLiteral("drop")), LB_ERR);
  QCOMPARE(list.AddString(QStringLiteral("keep")), 0);
  QCOMPARE(list.GetHeldCount(), 2);
}

// Enough lines that the judging runs in parts on several threads.
void TestListBoxFilter::NarrowingAgreesWithJudgingEveryLine() {
  CListBox narrowed, judged;
  const QString words[] = {QStringLiteral("ab"), QStringLiteral("abc"), QStringLiteral("xab\u4e2dc"),
                           QStringLiteral("b abc"), QStringLiteral("ABCD")};
  for (int i = 0; i < 300'000; ++i) {
    const QString line = words[(i * 7 + i / 5) % 5] + QString::number(i % 13);
    narrowed.AddString(line);
    judged.AddString(line);
  }
  narrowed.SetLineFilter(Holding(QStringLiteral("ab")));
  QCOMPARE(narrowed.GetCount(), 300'000);
  for (const QString& needle : {QStringLiteral("abc"), QStringLiteral("abcd"), QStringLiteral("abcd1")}) {
    narrowed.SetLineFilter(Holding(needle), true);
    judged.SetLineFilter(Holding(needle));
    QVERIFY(narrowed.GetCount() > 0);
    QCOMPARE(HeldOfShown(narrowed), HeldOfShown(judged));
  }
  // Widening again needs every held line judged.
  narrowed.SetLineFilter(Holding(QStringLiteral("c")));
  judged.SetLineFilter(Holding(QStringLiteral("c")));
  QCOMPARE(HeldOfShown(narrowed), HeldOfShown(judged));
}

void TestListBoxFilter::MarksCaretAndTopAcrossFilterChanges() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  list.SetSel(true, 5);
  list.SetSel(true, 7);
  list.SetSel(true, 9);
  list.SetCaretIndex(8);
  list.SetTopIndex(5);
  list.SetLineFilter(EveryThird);
  // Held 7 is hidden: kept, not seen. The caret's held 8 is nearer 9 than 6.
  QCOMPARE(SelectedOf(list), (std::vector<int>{3}));
  QCOMPARE(list.GetSelCount(), 1);
  QCOMPARE(list.HeldIndex(list.GetCurSel()), 9);
  QCOMPARE(list.HeldIndex(list.GetTopIndex()), 6);
  // Commands on the shown lines leave the hidden marks alone.
  list.SetSel(false, -1);
  list.SelItemRange(true, 0, 1);
  list.SetCaretIndex(2);
  // Caret on held 6; shown 5 and 7 are both one away: the earlier wins.
  list.SetLineFilter([](const SHeldLine& line) { return line.nIndex % 3 != 0 || line.nIndex == 0; });
  QCOMPARE(list.HeldIndex(list.GetCurSel()), 5);
  list.SetLineFilter({});
  QVERIFY(!list.HasLineFilter());
  QCOMPARE(SelectedOf(list), (std::vector<int>{0, 3, 5, 7}));
  QCOMPARE(list.GetCurSel(), 5);
}

void TestListBoxFilter::ClearingTheFilterShowsEveryLineAgain() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  const QImage before = fixture.Grab();
  list.SetLineFilter(EveryThird);
  QCOMPARE(list.GetText(1), QStringLiteral("line 3"));
  QVERIFY(fixture.Grab() != before);
  list.SetLineFilter({});
  QCOMPARE(list.GetCount(), kLines);
  QCOMPARE(list.HeldIndex(kLines - 1), kLines - 1);
  QCOMPARE(fixture.Grab(), before);
}

void TestListBoxFilter::RowBackgroundOnlyWhereAsked() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  const QColor mark(255, 0, 255);
  list.SetRowBackground([mark](const SHeldLine& line) { return line.nIndex % 2 ? mark : QColor(); });
  list.SetLineFilter(EveryThird);  // shown 0, 1, 2 are held 0, 3, 6
  list.SetSel(true, 2);
  const QImage image = fixture.Grab();
  const int row = fixture.RowHeight();
  const int x = kWidth - 3;
  QVERIFY(image.pixelColor(x, row / 2) != mark);
  QCOMPARE(image.pixelColor(x, row + row / 2), mark);
  QVERIFY(image.pixelColor(x, 3 * row + row / 2) == mark);  // held 9
  // A selected row shows its selection instead.
  list.SetSel(true, 1);
  QVERIFY(fixture.Grab().pixelColor(x, row + row / 2) != mark);
}

QTEST_MAIN(TestListBoxFilter)
#include "tst_listbox_filter.moc"
