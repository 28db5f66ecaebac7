// The monitor list as a widget: the horizontal extent in pixels, and lines
// read back with the indent they are shown with.
#include "monitor/monitorlist.h"

#include <QFontMetrics>
#include <QTest>

using zef::CMonitorList;

class TestMonitorList : public QObject {
  Q_OBJECT
 private slots:
  void extentFollowsTheLongestLineInPixels_data();
  void extentFollowsTheLongestLineInPixels();
  void linesReadBackWithTheirIndent();
};

void TestMonitorList::extentFollowsTheLongestLineInPixels_data() {
  // Lines added in order ("<reset>" empties the list); the extent expected
  // is the pixel width of the line named after `depth` indent strings, plus 5.
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<int>("depth");
  QTest::addColumn<QString>("measured");
  QTest::newRow("a longer line in narrower glyphs sets a smaller extent")
      << QStringList{QStringLiteral("WWWW"), QStringLiteral("iiiii")} << 0 << QStringLiteral("iiiii");
  QTest::newRow("an equal length changes nothing")
      << QStringList{QStringLiteral("WWWW"), QStringLiteral("iiii")} << 0 << QStringLiteral("WWWW");
  QTest::newRow("the prefix is measured")
      << QStringList{QStringLiteral("a {"), QStringLiteral("WW")} << 1 << QStringLiteral("WW");
  QTest::newRow("the prefix counts toward the length")
      << QStringList{QStringLiteral("abcd {"), QStringLiteral("wxy")} << 0 << QStringLiteral("abcd {");
  QTest::newRow("the first line after a reset sets it anew")
      << QStringList{QStringLiteral("a long first line"), QStringLiteral("<reset>"), QStringLiteral("i")} << 0
      << QStringLiteral("i");
  QTest::newRow("deep lines") << QStringList{QStringLiteral("a {"), QStringLiteral("b {"), QStringLiteral("c {"),
                                             QStringLiteral("WWWW")}
                              << 3 << QStringLiteral("WWWW");
}

void TestMonitorList::extentFollowsTheLongestLineInPixels() {
  QFETCH(QStringList, lines);
  QFETCH(int, depth);
  QFETCH(QString, measured);
  CMonitorList list;
  for (const QString& line : lines) {
    if (line == QLatin1String("<reset>")) {
      list.ResetContent();
      QCOMPARE(list.GetHorizontalExtent(), 5);
    } else {
      list.AddString(line);
    }
  }
  // The line and its indent measured as one text.
  const QFontMetrics metrics(list.font());
  QCOMPARE(list.GetHorizontalExtent(), metrics.horizontalAdvance(QStringLiteral("  ").repeated(depth) + measured) + 5);
}

void TestMonitorList::linesReadBackWithTheirIndent() {
  // 20,000 unbalanced enter lines: each read back with its whole indent,
  // while the list holds the indent once.
  CMonitorList list;
  constexpr int kLines = 20000;
  for (int i = 0; i < kLines; ++i) list.AddString(QStringLiteral("f() {"));
  QCOMPARE(list.Nesting(), kLines);
  QCOMPARE(list.GetText(kLines - 1), QString(2 * (kLines - 1), u' ') + QStringLiteral("f() {"));
  QCOMPARE(list.GetTextLen(kLines - 1), 2 * (kLines - 1) + 5);
  QVERIFY2(list.MemoryUsed() < std::size_t(kLines) * 32,
           qPrintable(QStringLiteral("%1 bytes").arg(list.MemoryUsed())));
  // Mark Block's search for the leave line goes through the indents.
  QCOMPARE(list.FindContaining(0, 1, QStringLiteral("} f()"), Qt::CaseSensitive), zef::LB_ERR);
  QCOMPARE(list.FindContaining(0, 1, QString(200, u' ') + QStringLiteral("f"), Qt::CaseSensitive), 100);
}

QTEST_MAIN(TestMonitorList)
#include "tst_monitorlist.moc"
