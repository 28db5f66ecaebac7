// The folded calls' bookkeeping: what they hide, nested and overlapping,
// and how they move with the held lines.
#include <QtTest>

#include "monitor/callfolds.h"

using zef::CCallFolds;
using zef::SHeldRange;
using Ranges = std::vector<SHeldRange>;

class TestCallFolds : public QObject {
  Q_OBJECT
 private slots:
  void hiddenLinesOfNestedAndOverlappingCalls();
  void foldsMoveWithTheHeldLines();
};

void TestCallFolds::hiddenLinesOfNestedAndOverlappingCalls() {
  CCallFolds folds;
  QVERIFY(folds.Fold({{10, 20, 5}}));
  QVERIFY(!folds.Fold({{10, 20, 5}, {30, 30, -1}}));  // already folded; no inner line
  QCOMPARE(folds.Hidden(), (Ranges{{11, 20}}));
  QCOMPARE(folds.Find(10)->InnerLines(), 9);
  // Nested in it: nothing more hidden. Overlapping (two senders): joined.
  QVERIFY(folds.Fold({{40, 45, -1}, {12, 15, -1}, {18, 25, -1}}));
  QCOMPARE(folds.Hidden(), (Ranges{{11, 25}, {41, 45}}));
  QVERIFY(folds.Unfold(10));
  QVERIFY(!folds.Unfold(11));
  QCOMPARE(folds.Hidden(), (Ranges{{13, 15}, {19, 25}, {41, 45}}));
}

void TestCallFolds::foldsMoveWithTheHeldLines() {
  CCallFolds folds;
  folds.Fold({{2, 5, -1}, {8, 12, -1}, {20, 30, -1}});
  folds.Dropped(9);  // the second's enter line went, its other lines not
  QCOMPARE(folds.Hidden(), (Ranges{{12, 21}}));
  QVERIFY(folds.Find(11));
  folds.Inserted(3);
  QCOMPARE(folds.Hidden(), (Ranges{{13, 22}}));
  folds.Inserted(30);
  QCOMPARE(folds.Hidden(), (Ranges{{13, 22}}));
  folds.Clear();
  QVERIFY(folds.IsEmpty());
}

QTEST_GUILESS_MAIN(TestCallFolds)
#include "tst_callfolds.moc"
