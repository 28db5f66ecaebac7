// The list box with hidden ranges of held lines: they combine with a filter,
// only the stretch whose hiding changed is listed anew, the caret and the
// top row go before a range that hides them, and a row's suffix is painted
// without being part of its line.
#include <QtTest>

#include "platform/listbox/linestore.h"
#include "platform/listbox/listbox.h"
#include "tests/platform/listbox/listfixture.h"

using zef::CLineStore;
using zef::CListBox;
using zef::SHeldLine;
using zef::SHeldRange;
using namespace zef::test;
using Ranges = std::vector<SHeldRange>;

namespace {

constexpr int kLines = 60;

bool EveryThird(const SHeldLine& line) { return line.nIndex % 3 == 0; }

// What the list must show: every held line the filter lets through that no
// range holds, judged line by line.
std::vector<int> Expected(int count, bool filtered, const Ranges& ranges) {
  std::vector<int> held;
  for (int i = 0; i < count; ++i) {
    const bool hidden =
        std::any_of(ranges.begin(), ranges.end(), [i](const SHeldRange& r) { return r.nFirst <= i && i <= r.nLast; });
    if (!hidden && (!filtered || i % 3 == 0)) held.push_back(i);
  }
  return held;
}

}  // namespace

Q_DECLARE_METATYPE(Ranges)
Q_DECLARE_METATYPE(std::vector<Ranges>)

class TestListBoxHidden : public QObject {
  Q_OBJECT
 private slots:
  void ShownLinesFollowEachChangeOfRanges_data();
  void ShownLinesFollowEachChangeOfRanges();
  void NothingHiddenAndNoFilterSetsNoFilter();
  void CaretAndTopGoBeforeTheRangeThatHidesThem();
  void AddedAndInsertedLinesUnderRanges();
  void RangesMoveWithADropAndGoWithTheirLines();
  void RowSuffixIsPaintedNotHeld();
};

void TestListBoxHidden::ShownLinesFollowEachChangeOfRanges_data() {
  QTest::addColumn<bool>("filtered");
  QTest::addColumn<std::vector<Ranges>>("steps");
  const std::vector<Ranges> nested = {{{11, 20}}, {{5, 30}}, {{11, 20}}, {}};
  const std::vector<Ranges> many = {{{1, 2}, {10, 19}, {40, 59}}, {{1, 2}, {40, 59}}, {{0, 0}, {3, 50}}, {{10, 19}}};
  const std::vector<Ranges> cut = {{{50, 500}}, {{-5, 3}, {55, 80}}, {}};
  QTest::newRow("nested, every line") << false << nested;
  QTest::newRow("nested, filtered") << true << nested;
  QTest::newRow("many at once, every line") << false << many;
  QTest::newRow("many at once, filtered") << true << many;
  QTest::newRow("cut to the held lines") << false << cut;
  QTest::newRow("cut to the held lines, filtered") << true << cut;
}

void TestListBoxHidden::ShownLinesFollowEachChangeOfRanges() {
  QFETCH(bool, filtered);
  QFETCH(std::vector<Ranges>, steps);
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  if (filtered) list.SetLineFilter(EveryThird);
  for (const Ranges& ranges : steps) {
    list.SetHiddenRanges(ranges);
    QCOMPARE(HeldOfShown(list), Expected(kLines, filtered, ranges));
    QCOMPARE(list.GetCount(), int(HeldOfShown(list).size()));
  }
  // A filter set while ranges hide lines keeps them hidden.
  list.SetHiddenRanges({{6, 12}});
  list.SetLineFilter(filtered ? CListBox::LineFilter() : EveryThird);
  QCOMPARE(HeldOfShown(list), Expected(kLines, !filtered, {{6, 12}}));
}

void TestListBoxHidden::NothingHiddenAndNoFilterSetsNoFilter() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  const QImage before = fixture.Grab();
  list.SetHiddenRanges({{2, 4}});
  QVERIFY(list.HasLineFilter());
  QCOMPARE(list.GetText(2), QStringLiteral("line 5"));
  list.SetHiddenRanges({});
  QVERIFY(!list.HasLineFilter());
  QCOMPARE(fixture.Grab(), before);
  // With a filter the list keeps filtering; ResetContent forgets the ranges.
  list.SetLineFilter(EveryThird);
  list.SetHiddenRanges({{2, 4}});
  list.SetHiddenRanges({});
  QVERIFY(list.HasLineFilter());
  list.SetLineFilter({});
  list.SetHiddenRanges({{2, 4}});
  list.ResetContent();
  QVERIFY(!list.HasLineFilter());
  QVERIFY(list.HiddenRanges().empty());
}

void TestListBoxHidden::CaretAndTopGoBeforeTheRangeThatHidesThem() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  list.SetTopIndex(21);
  list.SetCaretIndex(29);
  // Held 29 is nearer the first line after the range; it goes before it.
  list.SetHiddenRanges({{21, 30}});
  QCOMPARE(list.HeldIndex(list.GetCurSel()), 20);
  QCOMPARE(list.HeldIndex(list.GetTopIndex()), 20);
  // Shown again: they stay where they went.
  list.SetHiddenRanges({});
  QCOMPARE(list.GetCurSel(), 20);
  // Nothing shown before the range: the first line after it.
  list.SetCaretIndex(3);
  list.SetHiddenRanges({{0, 5}});
  QCOMPARE(list.HeldIndex(list.GetCurSel()), 6);
}

void TestListBoxHidden::AddedAndInsertedLinesUnderRanges() {
  CFixture fixture(10);
  CListBox& list = fixture.List();
  list.SetHiddenRanges({{3, 5}});
  QCOMPARE(list.AddString(QStringLiteral("appended")), 7);
  // Before shown line 3 (held 6), after the range: shown; the range stays.
  QCOMPARE(list.InsertString(3, QStringLiteral("after")), 3);
  QCOMPARE(list.HiddenRanges(), (Ranges{{3, 5}}));
  // Before the range: shown, and the range moves down.
  QCOMPARE(list.InsertString(2, QStringLiteral("before")), 2);
  QCOMPARE(list.HiddenRanges(), (Ranges{{4, 6}}));
  QCOMPARE(list.GetText(3), QStringLiteral("line 2"));
  QCOMPARE(list.GetText(4), QStringLiteral("after"));
  QCOMPARE(list.GetCount(), 10);
}

void TestListBoxHidden::RangesMoveWithADropAndGoWithTheirLines() {
  constexpr int kSegment = CLineStore::kSegmentLines;
  CFixture fixture(3 * kSegment);
  CListBox& list = fixture.List();
  list.SetHiddenRanges({{10, 20}, {kSegment - 5, kSegment + 5}, {2 * kSegment, 2 * kSegment + 9}});
  list.SetMemoryLimit(list.MemoryUsed() - 1);
  QCOMPARE(list.DroppedLines(), qint64(kSegment));
  // The first went, the second is cut to its lines left, the third moved.
  QCOMPARE(list.HiddenRanges(), (Ranges{{0, 5}, {kSegment, kSegment + 9}}));
  QCOMPARE(list.GetText(0), QStringLiteral("line %1").arg(kSegment + 6));
  QCOMPARE(list.GetCount(), 2 * kSegment - 16);
  // Once every range went, the list shows every line as if none was set.
  CFixture other(3 * kSegment);
  other.List().SetHiddenRanges({{10, 20}, {30, 40}});
  other.List().SetMemoryLimit(other.List().MemoryUsed() - 1);
  QVERIFY(other.List().HiddenRanges().empty());
  QVERIFY(!other.List().HasLineFilter());
  QCOMPARE(other.List().GetCount(), 2 * kSegment);
}

void TestListBoxHidden::RowSuffixIsPaintedNotHeld() {
  CFixture fixture(kLines);
  CListBox& list = fixture.List();
  const QImage before = fixture.Grab();
  list.SetRowSuffix([](const SHeldLine& line) { return line.nIndex == 1 ? QStringLiteral("MMMM") : QString(); });
  const QImage after = fixture.Grab();
  const int row = fixture.RowHeight();
  QCOMPARE(after.copy(0, 0, kWidth, row), before.copy(0, 0, kWidth, row));
  QVERIFY(after.copy(0, row, kWidth, row) != before.copy(0, row, kWidth, row));
  QCOMPARE(after.copy(0, 2 * row, kWidth, 8 * row), before.copy(0, 2 * row, kWidth, 8 * row));
  QCOMPARE(list.GetText(1), QStringLiteral("line 1"));
  QCOMPARE(list.FindContaining(0, +1, u"MMMM", Qt::CaseSensitive), zef::LB_ERR);
  list.SetRowSuffix({});
  QCOMPARE(fixture.Grab(), before);
}

QTEST_MAIN(TestListBoxHidden)
#include "tst_listbox_hidden.moc"
