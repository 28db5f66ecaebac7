// The line commands of the "&Monitor" menu, driven through their command ids.
#include "monitor/monitorcommands.h"
#include "tests/support/fixture.h"
#include "monitor/linecommands.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace zef;
using zef::test::CFrameFixture;

class TestLineCommands : public QObject {
  Q_OBJECT
 private slots:
  void markBlock_data();
  void markBlock();
  void goToMatchingLine_data();
  void goToMatchingLine();
  void markBlockKeys_data();
  void markBlockKeys();
  void selectedNameCases_data();
  void selectedNameCases();
  void selectedLineNeedsExactlyOneLine();
  void selectedNameNeedsExactlyOneLine();
  void enablingFollowsTheLines();
  void clearKeepsDepthAndAsks();
  void resetNestedCallsAsks();
  void find_data();
  void find();
  void findDialogLifecycle();
  void findScrollsTheFoundLineToTheTop_data();
  void findScrollsTheFoundLineToTheTop();
  void findAndMarkBlockSeeTheIndent();
};

namespace {
void Append(CFrameFixture& f, const QStringList& lines) {
  for (const QString& line : lines) f.Frame().AppendLine(line);
}
QList<int> Selected(CFrameFixture& f) {
  QList<int> out;
  for (int i : f.List().GetSelItems(f.List().GetCount())) out << i;
  return out;
}
const QStringList kCalls = {QStringLiteral("A() {"), QStringLiteral("B() {"), QStringLiteral("} B()"),
                            QStringLiteral("} A()")};
}  // namespace

void TestLineCommands::markBlock_data() {
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<int>("current");
  QTest::addColumn<QList<int>>("selected");
  QTest::addColumn<QList<int>>("before");  // selected before Mark Block
  QTest::newRow("enter of outer call") << kCalls << 0 << QList<int>{0, 1, 2, 3} << QList<int>{};
  QTest::newRow("leave of inner call") << kCalls << 2 << QList<int>{1, 2} << QList<int>{};
  QTest::newRow("leave of outer call") << kCalls << 3 << QList<int>{0, 1, 2, 3} << QList<int>{};
  QTest::newRow("call that never returned")
      << QStringList{QStringLiteral("x"), QStringLiteral("Run() {"), QStringLiteral("a"), QStringLiteral("b")} << 1
      << QList<int>{1, 2, 3} << QList<int>{};
  QTest::newRow("leave without parenthesis finds nearest enter")
      << QStringList{QStringLiteral("a() {"), QStringLiteral("b {"), QStringLiteral("x"), QStringLiteral("} b")} << 3
      << QList<int>{1, 2, 3} << QList<int>{};
  QTest::newRow("leave on the first line")
      << QStringList{QStringLiteral("} A()"), QStringLiteral("x")} << 0 << QList<int>{0} << QList<int>{};
  QTest::newRow("enter on the last line")
      << QStringList{QStringLiteral("x"), QStringLiteral("A() {")} << 1 << QList<int>{1} << QList<int>{};
  QTest::newRow("leave with result") << QStringList{QStringLiteral("F() {"), QStringLiteral("x"),
                                                    QStringLiteral("} F() (0)")}
                                     << 2 << QList<int>{0, 1, 2} << QList<int>{};
  // "} else {" counts as an enter line: its key "} } else" is found nowhere,
  // so the selection runs to the last line; line 0 stays selected.
  QTest::newRow("both braces, earlier selection kept")
      << QStringList{QStringLiteral("keep"), QStringLiteral("If() {"), QStringLiteral("} else {"), QStringLiteral("x"),
                     QStringLiteral("} If()")}
      << 2 << QList<int>{0, 2, 3, 4} << QList<int>{0};
  QTest::newRow("earlier selection above a leave line kept") << kCalls << 2 << QList<int>{1, 2, 3} << QList<int>{3};
}

void TestLineCommands::markBlock() {
  QFETCH(QStringList, lines);
  QFETCH(int, current);
  QFETCH(QList<int>, selected);
  QFETCH(QList<int>, before);
  CFrameFixture f;
  Append(f, lines);
  for (int line : before) f.List().SetSel(true, line);
  f.List().SetCaretIndex(current);
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::MarkBlock));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::MarkBlock));
  QCOMPARE(Selected(f), selected);
  QCOMPARE(f.List().GetCurSel(), current);  // the current line does not move
}

void TestLineCommands::goToMatchingLine_data() {
  // Mark Block's pairs: the caret goes to the line Mark Block would select
  // up to, and stays where it is when there is no matching line.
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<int>("current");
  QTest::addColumn<int>("caret");
  QTest::newRow("enter of outer call") << kCalls << 0 << 3;
  QTest::newRow("leave of inner call") << kCalls << 2 << 1;
  QTest::newRow("leave of outer call") << kCalls << 3 << 0;
  QTest::newRow("call that never returned")
      << QStringList{QStringLiteral("x"), QStringLiteral("Run() {"), QStringLiteral("a")} << 1 << 1;
  QTest::newRow("leave without parenthesis finds nearest enter")
      << QStringList{QStringLiteral("a() {"), QStringLiteral("b {"), QStringLiteral("x"), QStringLiteral("} b")} << 3
      << 1;
  QTest::newRow("leave with result") << QStringList{QStringLiteral("F() {"), QStringLiteral("x"),
                                                    QStringLiteral("} F() (0)")}
                                     << 2 << 0;
  QTest::newRow("both braces: an enter line without its leave line")
      << QStringList{QStringLiteral("If() {"), QStringLiteral("} else {"), QStringLiteral("} If()")} << 1 << 1;
  QTest::newRow("a line without braces") << kCalls + QStringList{QStringLiteral("plain")} << 4 << 4;
}

void TestLineCommands::goToMatchingLine() {
  QFETCH(QStringList, lines);
  QFETCH(int, current);
  QFETCH(int, caret);
  CFrameFixture f;
  Append(f, lines);
  f.List().SetSel(true, 0);
  f.List().SetCaretIndex(current);
  QCOMPARE(f.Frame().IsCommandEnabled(CommandId::GoToMatchingLine),
           f.List().LineContains(current, u'{') || f.List().LineContains(current, u'}'));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::GoToMatchingLine));
  QCOMPARE(f.List().GetCurSel(), caret);
  QCOMPARE(Selected(f), QList<int>{0});  // nothing is selected or unselected
  // And back again, from the other end of the pair.
  if (caret != current) {
    QVERIFY(f.Frame().OnCmdMsg(CommandId::GoToMatchingLine));
    QCOMPARE(f.List().GetCurSel(), current);
  }
}

void TestLineCommands::markBlockKeys_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("enterKey");
  QTest::addColumn<QString>("leaveKey");
  QTest::newRow("indented enter") << QStringLiteral("    Foo() {") << QString() << QStringLiteral("} Foo()");
  QTest::newRow("several braces") << QStringLiteral("\tFoo() {{ ") << QString() << QStringLiteral("} Foo() {{");
  QTest::newRow("leave with result") << QStringLiteral("  } Foo() (0)") << QStringLiteral("Foo() {") << QString();
  QTest::newRow("leave without paren") << QStringLiteral("}} name") << QStringLiteral(" {") << QString();
}

void TestLineCommands::markBlockKeys() {
  QFETCH(QString, line);
  QFETCH(QString, enterKey);
  QFETCH(QString, leaveKey);
  if (!enterKey.isNull()) QCOMPARE(EnterKeyOfLeaveLine(line), enterKey);
  if (!leaveKey.isNull()) QCOMPARE(LeaveKeyOfEnterLine(line), leaveKey);
}

void TestLineCommands::selectedNameCases_data() {
  QTest::addColumn<QString>("indent");
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("name");
  QTest::newRow("database line") << QStringLiteral("  ") << QStringLiteral("\"Contacts\" type=0 records=3, size=1 KB")
                                 << QStringLiteral("Contacts");
  QTest::newRow("no closing quote") << QStringLiteral("  ") << QStringLiteral("\"Contacts type=0") << QString();
  QTest::newRow("no quote at all") << QStringLiteral("  ") << QStringLiteral("pid=0x10, threads=1, x") << QString();
  QTest::newRow("any indent is skipped") << QStringLiteral("\"\"")
                                         << QStringLiteral("\"Contacts\" type=0 records=3, size=1 KB")
                                         << QStringLiteral("Contacts");
  QTest::newRow("empty indent") << QString() << QStringLiteral("\"Contacts\" type=0 records=3, size=1 KB")
                                << QStringLiteral("Contacts");
}

void TestLineCommands::selectedNameCases() {
  QFETCH(QString, indent);
  QFETCH(QString, line);
  QFETCH(QString, name);
  CFrameFixture f;
  f.Frame().GetList().SetIndent(indent);
  Append(f, {QStringLiteral("ZEFMON_EnumDatabases() {"), line});
  f.List().SetSel(true, 1);
  QCOMPARE(f.Frame().GetSelectedName(), name);
}

void TestLineCommands::selectedLineNeedsExactlyOneLine() {
  CFrameFixture f;
  Append(f, {QStringLiteral("one"), QStringLiteral("two")});
  QCOMPARE(f.Frame().GetSelectedLine(), QString());
  f.List().SetSel(true, 1);
  QCOMPARE(f.Frame().GetSelectedLine(), QStringLiteral("two"));
  f.List().SetSel(true, 0);
  QCOMPARE(f.Frame().GetSelectedLine(), QString());
  // View Line then shows an empty box.
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ViewLine));
  QCOMPARE(f.Boxes().back().text, QString());
  QCOMPARE(f.Boxes().back().style, std::uint32_t(MB_OK));
}

void TestLineCommands::selectedNameNeedsExactlyOneLine() {
  CFrameFixture f;
  Append(f, {QStringLiteral("\"Contacts\" type=0 records=3, size=1 KB"),
             QStringLiteral("\"Mail\" type=1 records=9, size=2 KB")});
  f.List().SetSel(true, 1);
  QCOMPARE(f.Frame().GetSelectedName(), QStringLiteral("Mail"));
  f.List().SetSel(true, 0);
  QCOMPARE(f.Frame().GetSelectedName(), QString());
}

void TestLineCommands::enablingFollowsTheLines() {
  CFrameFixture f;
  CMainFrame& m = f.Frame();
  QVERIFY(!m.IsCommandEnabled(CommandId::Clear));
  QVERIFY(!m.IsCommandEnabled(CommandId::Find));
  QVERIFY(!m.IsCommandEnabled(CommandId::ViewLine));
  QVERIFY(!m.IsCommandEnabled(CommandId::UnmarkLines));
  QVERIFY(m.IsCommandEnabled(CommandId::ResetNestedCalls));
  QVERIFY(m.IsCommandEnabled(CommandId::EntryFromBuffer));
  Append(f, {QStringLiteral("plain"), QStringLiteral("F() {")});
  QVERIFY(m.IsCommandEnabled(CommandId::Clear));
  QVERIFY(m.IsCommandEnabled(CommandId::Find));
  f.List().SetCaretIndex(0);
  QVERIFY(m.IsCommandEnabled(CommandId::ViewLine));
  QVERIFY(!m.IsCommandEnabled(CommandId::MarkBlock));
  f.List().SetCaretIndex(1);
  QVERIFY(m.IsCommandEnabled(CommandId::MarkBlock));
  f.List().SetSel(true, 0);
  QVERIFY(m.IsCommandEnabled(CommandId::UnmarkLines));
  QVERIFY(m.OnCmdMsg(CommandId::UnmarkLines));
  QCOMPARE(f.List().GetSelCount(), 0);
}

void TestLineCommands::clearKeepsDepthAndAsks() {
  CFrameFixture f;
  Append(f, {QStringLiteral("A() {"), QStringLiteral("x")});
  f.Answer({IDNO});
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Clear));
  QCOMPARE(f.Boxes().back().text, QStringLiteral("Really clear monitor content?"));
  QCOMPARE(f.List().GetCount(), 2);
  f.Frame().Settings().general.m_bAskBeforeClearContent = false;
  const size_t asked = f.Boxes().size();
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Clear));
  QCOMPARE(f.Boxes().size(), asked);
  QCOMPARE(f.List().GetCount(), 0);
  QCOMPARE(f.List().GetHorizontalExtent(), 5);
  Append(f, {QStringLiteral("y")});
  QCOMPARE(f.Lines(), QStringList{QStringLiteral("  y")});
}

void TestLineCommands::resetNestedCallsAsks() {
  CFrameFixture f;
  Append(f, {QStringLiteral("A() {"), QStringLiteral("x")});
  f.Answer({IDNO});
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ResetNestedCalls));
  QCOMPARE(f.Boxes().back().text, QStringLiteral("Really reset nested calls counter?"));
  QCOMPARE(f.List().Nesting(), 1);
  f.Answer({IDYES});
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ResetNestedCalls));
  Append(f, {QStringLiteral("y")});
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("A() {"), QStringLiteral("  x"), QStringLiteral("y")}));
}

void TestLineCommands::find_data() {
  QTest::addColumn<int>("current");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("down");
  QTest::addColumn<bool>("matchCase");
  QTest::addColumn<int>("found");  // -1: nothing changes
  QTest::newRow("down, any case") << 0 << QStringLiteral("error") << true << false << 2;
  QTest::newRow("down, match case skips ERROR") << 0 << QStringLiteral("error") << true << true << 3;
  QTest::newRow("up reaches line 0") << 2 << QStringLiteral("first") << false << false << 0;
  QTest::newRow("down from last line finds nothing") << 4 << QStringLiteral("line") << true << false << -1;
  QTest::newRow("no match") << 0 << QStringLiteral("absent") << true << false << -1;
  QTest::newRow("no wrap upward") << 1 << QStringLiteral("last") << false << false << -1;
}

void TestLineCommands::find() {
  QFETCH(int, current);
  QFETCH(QString, text);
  QFETCH(bool, down);
  QFETCH(bool, matchCase);
  QFETCH(int, found);
  CFrameFixture f;
  Append(f, {QStringLiteral("first line"), QStringLiteral("second"), QStringLiteral("an ERROR here"),
             QStringLiteral("an error here"), QStringLiteral("last line")});
  f.List().SetCaretIndex(current);
  f.List().SetSel(true, 1);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Find));
  CFindReplaceDialog* dialog = f.Frame().GetFeature<CMonitorCommands>()->FindDialog();
  QVERIFY(dialog);
  QTest::keyClicks(dialog->FindEdit(), text);
  if (!down) QTest::mouseClick(dialog->UpButton(), Qt::LeftButton, {}, QPoint(6, dialog->UpButton()->height() / 2));
  if (matchCase) dialog->MatchCaseBox()->setChecked(true);
  QTest::mouseClick(dialog->FindNextButton(), Qt::LeftButton);
  if (found < 0) {
    QCOMPARE(Selected(f), QList<int>{1});
    QCOMPARE(f.List().GetCurSel(), current);
  } else {
    QCOMPARE(Selected(f), QList<int>{found});
    QCOMPARE(f.List().GetCurSel(), found);
  }
}

void TestLineCommands::findDialogLifecycle() {
  CFrameFixture f;
  Append(f, {QStringLiteral("a x"), QStringLiteral("b x"), QStringLiteral("c x")});
  f.List().SetCaretIndex(0);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Find));
  QPointer<CFindReplaceDialog> dialog = f.Frame().GetFeature<CMonitorCommands>()->FindDialog();
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::Find));  // one at a time
  QVERIFY(!dialog->FindNextButton()->isEnabled());        // nothing to find yet
  QTest::keyClicks(dialog->FindEdit(), QStringLiteral("x"));
  // Each Find Next continues from the line found before.
  QTest::mouseClick(dialog->FindNextButton(), Qt::LeftButton);
  QCOMPARE(f.List().GetCurSel(), 1);
  QTest::mouseClick(dialog->FindNextButton(), Qt::LeftButton);
  QCOMPARE(f.List().GetCurSel(), 2);
  dialog->close();
  QVERIFY(!f.Frame().GetFeature<CMonitorCommands>()->FindDialog());
  QTRY_VERIFY(dialog.isNull());
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::Find));
}

namespace {
// Find Next as the find dialog reports it.
void FindNext(CFrameFixture& f, const QString& text, bool down) {
  FINDREPLACE record;
  record.findWhat = text;
  record.Flags = FR_FINDNEXT | (down ? std::uint32_t(FR_DOWN) : 0u);
  f.Frame().GetFeature<CMonitorCommands>()->OnFindReplace(&record);
}
}  // namespace

void TestLineCommands::findScrollsTheFoundLineToTheTop_data() {
  QTest::addColumn<int>("target");
  QTest::addColumn<bool>("atTop");  // false: near the end, the last line stays at the bottom
  QTest::newRow("below the view") << 120 << true;
  QTest::newRow("above the view, searching up") << 3 << true;
  QTest::newRow("near the end") << 198 << false;
}

void TestLineCommands::findScrollsTheFoundLineToTheTop() {
  QFETCH(int, target);
  QFETCH(bool, atTop);
  CFrameFixture f;
  f.Frame().resize(400, 300);
  for (int i = 0; i < 200; ++i)
    f.Frame().AppendLine(i == target ? QStringLiteral("the target") : QStringLiteral("line %1").arg(i));
  const bool down = target > 100;
  f.List().SetCaretIndex(down ? 0 : 199);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Find));
  FindNext(f, QStringLiteral("target"), down);
  QCOMPARE(f.List().GetCurSel(), target);
  int minPos = 0, maxPos = 0;
  f.List().GetScrollRange(SB_VERT, &minPos, &maxPos);
  QVERIFY(maxPos > 0 && maxPos < 198);
  QCOMPARE(f.List().GetTopIndex(), atTop ? target : maxPos);
}

void TestLineCommands::findAndMarkBlockSeeTheIndent() {
  // The list shows "A() {", "  B() {", "    x", "  } B()", "} A()": Find
  // reads the lines with their indent, even where the needle begins in it.
  CFrameFixture f;
  Append(f, {QStringLiteral("A() {"), QStringLiteral("B() {"), QStringLiteral("x"), QStringLiteral("} B()"),
             QStringLiteral("} A()")});
  QVERIFY(f.Frame().OnCmdMsg(CommandId::Find));
  const struct {
    const char* text;
    int found;  // -1: the caret stays
  } cases[] = {{"   x", 2}, {"  } B", 3}, {"  B() {", 1}, {"     x", -1}, {"    ", 2}};
  for (const auto& c : cases) {
    f.List().SetCaretIndex(0);
    FindNext(f, QString::fromLatin1(c.text), true);
    QCOMPARE(f.List().GetCurSel(), c.found < 0 ? 0 : c.found);
  }
  f.List().SetSel(false, -1);
  f.List().SetCaretIndex(3);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::MarkBlock));
  QCOMPARE(Selected(f), (QList<int>{1, 2, 3}));
  f.List().SetSel(false, -1);
  f.List().SetSel(true, 2);
  QCOMPARE(f.Frame().GetSelectedLine(), QStringLiteral("    x"));
}

QTEST_MAIN(TestLineCommands)
#include "tst_linecommands.moc"
