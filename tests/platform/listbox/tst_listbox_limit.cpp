// The list box under a memory limit: the oldest whole segments go, and the
// caret, the marks, the top row and the shown lines stay on their lines.
#include <QtTest>

#include "platform/listbox/linestore.h"
#include "platform/listbox/listbox.h"
#include "tests/platform/listbox/listfixture.h"

using zef::CLineStore;
using zef::CListBox;
using zef::SHeldLine;
using namespace zef::test;

namespace {

constexpr int kSegment = CLineStore::kSegmentLines;

QString LineText(int i) { return QStringLiteral("line %1").arg(i); }

}  // namespace

class TestListBoxLimit : public QObject {
  Q_OBJECT
 private slots:
  void DropKeepsCaretMarksAndTopOnTheirLines_data();
  void DropKeepsCaretMarksAndTopOnTheirLines();
  void AppendingStaysWithinTheLimit();
  void ResetForgetsTheDroppedCount();
};

void TestListBoxLimit::DropKeepsCaretMarksAndTopOnTheirLines_data() {
  QTest::addColumn<bool>("filtered");
  QTest::addColumn<bool>("caretDropped");
  QTest::newRow("every line shown") << false << false;
  QTest::newRow("filtered") << true << false;
  QTest::newRow("caret on a dropped line") << false << true;
  QTest::newRow("filtered, caret on a dropped line") << true << true;
}

void TestListBoxLimit::DropKeepsCaretMarksAndTopOnTheirLines() {
  QFETCH(bool, filtered);
  QFETCH(bool, caretDropped);
  CFixture fixture(3 * kSegment + 100);
  CListBox& list = fixture.List();
  if (filtered) list.SetLineFilter([](const SHeldLine& line) { return line.text.toString().endsWith(u'7'); });
  const auto shownOf = [&](int held) { return list.ShownIndex(held); };
  const int kept = 2 * kSegment + 15;  // in the third segment, held text ending in 7
  list.SetSel(true, shownOf(7));       // in the first: goes
  list.SetSel(true, shownOf(kept));
  list.SetCaretIndex(shownOf(caretDropped ? 27 : kept + 10));
  list.SetTopIndex(shownOf(kSegment + 11));  // "line 4107"
  const QString caretText = list.GetText(list.GetCurSel());

  list.SetMemoryLimit(list.MemoryUsed() - 1);  // one segment too many: applied at once

  QCOMPARE(list.DroppedLines(), qint64(kSegment));
  QCOMPARE(list.GetHeldCount(), 2 * kSegment + 100);
  QCOMPARE(list.GetText(list.GetTopIndex()), LineText(kSegment + 11));
  QCOMPARE(list.GetText(list.GetCurSel()), caretDropped ? list.GetText(0) : caretText);
  QCOMPARE(list.GetSelCount(), 1);
  QCOMPARE(list.GetText(SelectedOf(list).front()), LineText(kept));
  // The shown lines are still exactly those the filter lets through.
  for (int i = 0; i < list.GetCount(); i += 97)
    QCOMPARE(list.GetText(i), filtered ? LineText(kSegment + 1 + 10 * i) : LineText(kSegment + i));
}

void TestListBoxLimit::AppendingStaysWithinTheLimit() {
  CFixture fixture(0);
  CListBox& list = fixture.List();
  for (int i = 0; i < 3 * kSegment; ++i) list.AddString(LineText(i));
  const std::size_t limit = list.MemoryUsed();
  list.SetMemoryLimit(limit);
  std::size_t most = 0;
  constexpr int kMore = 10 * kSegment;
  for (int i = 3 * kSegment; i < 3 * kSegment + kMore; ++i) {
    // The index returned is the line's own, after any drop it caused.
    const int index = list.AddString(LineText(i));
    QCOMPARE(index, list.GetCount() - 1);
    most = std::max(most, list.MemoryUsed());
  }
  QVERIFY2(most <= limit + limit / 2, qPrintable(QStringLiteral("%1 > %2").arg(most).arg(limit)));
  QCOMPARE(list.DroppedLines() + list.GetCount(), qint64(3 * kSegment + kMore));
  QCOMPARE(list.GetText(list.GetCount() - 1), LineText(3 * kSegment + kMore - 1));
  QCOMPARE(list.GetText(0), LineText(int(list.DroppedLines())));
}

void TestListBoxLimit::ResetForgetsTheDroppedCount() {
  CFixture fixture(2 * kSegment + 1);
  CListBox& list = fixture.List();
  list.SetMemoryLimit(1);
  QCOMPARE(list.DroppedLines(), qint64(2 * kSegment));
  list.ResetContent();
  QCOMPARE(list.DroppedLines(), qint64(0));
  list.SetMemoryLimit(0);  // no limit: nothing goes
  for (int i = 0; i < 2 * kSegment + 1; ++i) list.AddString(LineText(i));
  QCOMPARE(list.GetCount(), 2 * kSegment + 1);
}

QTEST_MAIN(TestListBoxLimit)
#include "tst_listbox_limit.moc"
