// The nesting and longest-line rules of the monitor list.
#include "monitor/nestingrules.h"

#include <QTest>

using zef::CNestingRules;

namespace {
// The line as the list shows it: the indent string repeated depth times,
// then the line.
QString AddShown(CNestingRules& rules, const QString& line) {
  const CNestingRules::Result placed = rules.Add(line);
  return rules.Indent().repeated(placed.depth) + line;
}
}  // namespace

class TestNesting : public QObject {
  Q_OBJECT
 private slots:
  void linesAreIndentedByDepth_data();
  void linesAreIndentedByDepth();
  void depthBelowZeroShowsNoIndentUntilRaisedAgain();
  void contentResetKeepsDepthAndForgetsLongest();
  void newIndentAppliesFromTheNextLine();
  void longestIsJudgedByCharacters();
};

// Each row: indent string, the lines added, the stored texts expected, and
// the depth after the last line.
void TestNesting::linesAreIndentedByDepth_data() {
  QTest::addColumn<QString>("indent");
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<QStringList>("stored");
  QTest::addColumn<int>("depth");

  QTest::newRow("enter and leave") << QStringLiteral("  ")
                                   << QStringList{QStringLiteral("A() {"), QStringLiteral("B() {"), QStringLiteral("x"),
                                                  QStringLiteral("} B()"), QStringLiteral("} A() (0)")}
                                   << QStringList{QStringLiteral("A() {"), QStringLiteral("  B() {"),
                                                  QStringLiteral("    x"), QStringLiteral("  } B()"),
                                                  QStringLiteral("} A() (0)")}
                                   << 0;
  QTest::newRow("double braces count once")
      << QStringLiteral("  ")
      << QStringList{QStringLiteral("{{"), QStringLiteral("a"), QStringLiteral("}}"), QStringLiteral("b")}
      << QStringList{QStringLiteral("{{"), QStringLiteral("  a"), QStringLiteral("}}"), QStringLiteral("b")} << 0;
  QTest::newRow("both braces: one level out, depth kept")
      << QStringLiteral("  ")
      << QStringList{QStringLiteral("f {"), QStringLiteral("} else {"), QStringLiteral("{...}"), QStringLiteral("y")}
      << QStringList{QStringLiteral("f {"), QStringLiteral("} else {"), QStringLiteral("{...}"), QStringLiteral("  y")}
      << 1;
  QTest::newRow("empty line at depth 1 is the indent alone")
      << QStringLiteral("--") << QStringList{QStringLiteral("a {"), QString()}
      << QStringList{QStringLiteral("a {"), QStringLiteral("--")} << 1;
  QTest::newRow("empty indent string") << QString()
                                       << QStringList{QStringLiteral("a {"), QStringLiteral("b {"), QStringLiteral("x")}
                                       << QStringList{QStringLiteral("a {"), QStringLiteral("b {"), QStringLiteral("x")}
                                       << 2;
  QTest::newRow("indent holding a brace raises the depth of indented lines")
      << QStringLiteral("{") << QStringList{QStringLiteral("a {"), QStringLiteral("x"), QStringLiteral("y")}
      << QStringList{QStringLiteral("a {"), QStringLiteral("{x"), QStringLiteral("{{y")} << 3;
  QTest::newRow("two spaces at depth 2")
      << QStringLiteral("  ") << QStringList{QStringLiteral("a {"), QStringLiteral("b {"), QStringLiteral("x")}
      << QStringList{QStringLiteral("a {"), QStringLiteral("  b {"), QStringLiteral("    x")} << 2;
}

void TestNesting::linesAreIndentedByDepth() {
  QFETCH(QString, indent);
  QFETCH(QStringList, lines);
  QFETCH(QStringList, stored);
  QFETCH(int, depth);
  CNestingRules rules;
  rules.SetIndent(indent);
  QStringList actual;
  for (const QString& line : lines) actual << AddShown(rules, line);
  QCOMPARE(actual, stored);
  QCOMPARE(rules.Nesting(), depth);
}

void TestNesting::depthBelowZeroShowsNoIndentUntilRaisedAgain() {
  CNestingRules rules;
  QCOMPARE(AddShown(rules, QStringLiteral("} Foo()")), QStringLiteral("} Foo()"));
  QCOMPARE(rules.Nesting(), -1);
  QCOMPARE(AddShown(rules, QStringLiteral("a {")), QStringLiteral("a {"));
  QCOMPARE(AddShown(rules, QStringLiteral("x")), QStringLiteral("x"));  // depth 0 again
  QCOMPARE(AddShown(rules, QStringLiteral("b {")), QStringLiteral("b {"));
  QCOMPARE(AddShown(rules, QStringLiteral("y")), QStringLiteral("  y"));
  rules.ResetNesting();
  QCOMPARE(AddShown(rules, QStringLiteral("z")), QStringLiteral("z"));
}

void TestNesting::contentResetKeepsDepthAndForgetsLongest() {
  CNestingRules rules;
  rules.Add(QStringLiteral("a long first line {"));
  rules.ResetContent();
  QCOMPARE(rules.LongestLength(), 0);
  const auto next = rules.Add(QStringLiteral("x"));
  QCOMPARE(next.depth, 1);
  QVERIFY(next.longest);
}

void TestNesting::newIndentAppliesFromTheNextLine() {
  CNestingRules rules;
  rules.Add(QStringLiteral("a {"));
  QCOMPARE(AddShown(rules, QStringLiteral("x")), QStringLiteral("  x"));
  rules.SetIndent(QStringLiteral(">"));
  QCOMPARE(AddShown(rules, QStringLiteral("y")), QStringLiteral(">y"));
}

void TestNesting::longestIsJudgedByCharacters() {
  CNestingRules rules;
  QVERIFY(rules.Add(QStringLiteral("abc")).longest);
  QVERIFY(!rules.Add(QStringLiteral("xyz")).longest);  // equal length changes nothing
  QVERIFY(!rules.Add(QStringLiteral("ab")).longest);
  QVERIFY(rules.Add(QStringLiteral("abcd")).longest);
  QCOMPARE(rules.LongestLength(), 4);
  QVERIFY(!rules.Add(QString()).longest);
}

QTEST_APPLESS_MAIN(TestNesting)
#include "tst_nesting.moc"
