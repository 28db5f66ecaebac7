// Folding calls through the main window: the keys on an enter or a leave
// line, nested folds, the caret inside a fold, commands on a folded view,
// the list menu's two items, and folds across a memory-limit drop.
#include "monitor/foldcommands.h"
#include "monitor/monitorlist.h"
#include "platform/listbox/linestore.h"
#include "tests/support/fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>

using namespace zef;
using namespace Qt::Literals::StringLiterals;
using zef::test::CFrameFixture;

class TestFoldCommands : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QLocale::setDefault(QLocale::c()); }
  void keysFoldAndUnfold_data();
  void keysFoldAndUnfold();
  void nestedFoldsStayFolded();
  void caretInsideGoesToTheEnterLine();
  void commandsActOnTheFoldedView();
  void foldAllAtDepthAndUnfoldAll();
  void foldsMoveAcrossAMemoryLimitDrop();
};

namespace {

// Rows: 0 Run() {, 1 Load() {, 2 read, 3 Parse() {, 4 token, 5 } Parse(),
// 6 } Load(), 7 Save() {, 8 write, 9 } Save(), 10 } Run(), 11 done.
const QStringList kCalls = {QStringLiteral("Run() {"),   QStringLiteral("Load() {"), QStringLiteral("read"),
                            QStringLiteral("Parse() {"), QStringLiteral("token"),    QStringLiteral("} Parse()"),
                            QStringLiteral("} Load()"),  QStringLiteral("Save() {"), QStringLiteral("write"),
                            QStringLiteral("} Save()"),  QStringLiteral("} Run()"),  QStringLiteral("done")};

void Append(CFrameFixture& f, const QStringList& lines) {
  for (const QString& line : lines) f.Frame().AppendLine(line);
}

QStringList OwnTexts(CMonitorList& list) {
  QStringList texts;
  for (int i = 0; i < list.GetCount(); ++i) texts << list.GetOwnText(i);
  return texts;
}

void Press(CMonitorList& list, int caret, char key) {
  list.SetCaretIndex(caret);
  QTest::keyClick(&list, key);
}

}  // namespace

void TestFoldCommands::keysFoldAndUnfold_data() {
  QTest::addColumn<int>("caret");
  QTest::addColumn<char>("unfoldKey");
  QTest::newRow("on the enter line, +") << 1 << '+';
  QTest::newRow("on the leave line, =") << 6 << '=';
}

void TestFoldCommands::keysFoldAndUnfold() {
  QFETCH(int, caret);
  QFETCH(char, unfoldKey);
  CFrameFixture f;
  Append(f, kCalls);
  CMonitorList& list = f.List();
  const QStringList all = OwnTexts(list);
  Press(list, caret, '-');
  // The inner lines and the leave line are hidden; the enter line stays.
  QCOMPARE(OwnTexts(list), (QStringList{u"Run() {"_s, u"Load() {"_s, u"Save() {"_s, u"write"_s, u"} Save()"_s,
                                        u"} Run()"_s, u"done"_s}));
  QVERIFY(list.IsFolded(1));
  QVERIFY(list.FoldSummary(1).startsWith(QStringLiteral("\u2026 4 lines, ")));
  QCOMPARE(list.GetCurSel(), 1);
  QCOMPARE(list.GetText(1), QStringLiteral("  Load() {"));  // the summary is not part of the line
  // "-" again, or on a line of no call, changes nothing.
  Press(list, 1, '-');
  Press(list, 6, '-');
  QCOMPARE(list.GetCount(), 7);
  // Unfolding elsewhere does nothing; on the fold it shows every line again.
  Press(list, 0, unfoldKey);
  QCOMPARE(list.GetCount(), 7);
  Press(list, 1, unfoldKey);
  QCOMPARE(OwnTexts(list), all);
  QVERIFY(!list.HasFolds());
  QVERIFY(!list.HasLineFilter());  // nothing folded: no line filter at all
  QVERIFY(list.FoldSummary(1).isEmpty());
  // Left and Right keep scrolling sideways.
  f.Frame().AppendLine(QString(400, u'w'));
  QTRY_VERIFY(list.horizontalScrollBar()->maximum() > 0);
  list.SetCaretIndex(1);
  QTest::keyClick(&list, Qt::Key_Right);
  QVERIFY(list.GetScrollPos(SB_HORZ) > 0);
  QTest::keyClick(&list, Qt::Key_Left);
  QCOMPARE(list.GetScrollPos(SB_HORZ), 0);
  QVERIFY(!list.HasFolds());
}

void TestFoldCommands::nestedFoldsStayFolded() {
  CFrameFixture f;
  Append(f, kCalls);
  CMonitorList& list = f.List();
  Press(list, 3, '-');  // Parse
  QCOMPARE(list.GetCount(), 10);
  Press(list, 0, '-');  // Run, with Parse inside
  QCOMPARE(OwnTexts(list), (QStringList{u"Run() {"_s, u"done"_s}));
  QVERIFY(list.FoldSummary(0).startsWith(QStringLiteral("\u2026 9 lines, ")));  // and the duration
  Press(list, 0, '+');
  // Parse is still folded; Load's lines are back.
  QCOMPARE(list.GetCount(), 10);
  QCOMPARE(list.GetOwnText(3), QStringLiteral("Parse() {"));
  QVERIFY(list.IsFolded(3));
  QCOMPARE(list.GetOwnText(4), QStringLiteral("} Load()"));
}

void TestFoldCommands::caretInsideGoesToTheEnterLine() {
  CFrameFixture f;
  Append(f, kCalls);
  CMonitorList& list = f.List();
  list.SetCaretIndex(4);  // token, inside Parse and Load
  QVERIFY(list.FoldCalls({{1, 6}}));
  QCOMPARE(list.GetCurSel(), 1);
  // From the leave line, the caret goes to the enter line too.
  list.UnfoldAll();
  Press(list, 9, '-');
  QCOMPARE(list.GetOwnText(list.GetCurSel()), QStringLiteral("Save() {"));
  QVERIFY(list.IsFolded(list.GetCurSel()));
}

void TestFoldCommands::commandsActOnTheFoldedView() {
  CFrameFixture f;
  Append(f, kCalls);
  CMonitorList& list = f.List();
  Press(list, 1, '-');
  // Find sees only the shown lines.
  QCOMPARE(list.FindContaining(0, +1, u"token", Qt::CaseSensitive), LB_ERR);
  QCOMPARE(list.FindContaining(0, +1, u"write", Qt::CaseSensitive), 3);
  // Select all selects the shown lines; Copy takes them without the summary.
  QVERIFY(f.Frame().OnCmdMsg(CommandId::SelectAllLines));
  QCOMPARE(list.GetSelCount(), 7);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::CopyLines));
  const QString copied = QGuiApplication::clipboard()->text();
  QVERIFY(copied.startsWith(QStringLiteral("Run() {\n  Load() {\n  Save() {\n")));
  QVERIFY(!copied.contains(QStringLiteral("token")));
  QVERIFY(!copied.contains(u'\u2026'));
  // Unfolded, the hidden lines come back unselected.
  Press(list, 1, '+');
  QCOMPARE(list.GetSelCount(), 7);
  QVERIFY(!list.GetSel(2));
}

void TestFoldCommands::foldAllAtDepthAndUnfoldAll() {
  CFrameFixture f;
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::FoldAllAtDepth));
  Append(f, kCalls);
  CMonitorList& list = f.List();
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::UnfoldAll));
  list.SetCaretIndex(2);  // "read", depth 2: Parse is the call at that depth
  QCOMPARE(CallsAtDepth(list, 1), (std::vector<std::pair<int, int>>{{1, 6}, {7, 9}}));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::FoldAllAtDepth));
  QCOMPARE(list.GetCount(), 10);
  QVERIFY(list.IsFolded(3));
  list.SetCaretIndex(1);  // Load() {, depth 1: Load and Save
  QVERIFY(f.Frame().OnCmdMsg(CommandId::FoldAllAtDepth));
  QCOMPARE(OwnTexts(list), (QStringList{u"Run() {"_s, u"Load() {"_s, u"Save() {"_s, u"} Run()"_s, u"done"_s}));
  QVERIFY(f.Frame().IsCommandEnabled(CommandId::UnfoldAll));
  QVERIFY(f.Frame().OnCmdMsg(CommandId::UnfoldAll));
  QCOMPARE(list.GetCount(), kCalls.size());
  QVERIFY(!list.HasLineFilter());
}

void TestFoldCommands::foldsMoveAcrossAMemoryLimitDrop() {
  constexpr int kSegment = CLineStore::kSegmentLines;
  CFrameFixture f;
  CMonitorList& list = f.List();
  // Calls of 1,000 lines, each its line number apart; lines that pack poorly.
  for (int i = 0; i < 3 * kSegment; ++i) {
    const int place = i % 1000;
    const QString text = place == 0     ? QStringLiteral("C%1() {").arg(i)
                         : place == 999 ? QStringLiteral("} C%1()").arg(i - 999)
                                        : QStringLiteral("x %1 %2").arg(i).arg(std::uint64_t(i) * 2654435761u);
    list.AddLine(text, CSenders::kSelf);
  }
  QVERIFY(list.FoldCalls({{1000, 1999}, {5000, 5999}}));
  const int shown = list.GetCount();
  list.SetMemoryLimit(list.MemoryUsed() - 1);
  QCOMPARE(list.DroppedLines(), qint64(kSegment));
  // The first fold's enter line went: it went with it. The second moved up.
  const int enter = 5000 - kSegment;
  QCOMPARE(list.GetOwnText(enter), QStringLiteral("C5000() {"));
  QVERIFY(list.IsFolded(enter));
  QVERIFY(list.FoldSummary(enter).startsWith(QStringLiteral("\u2026 998 lines, ")));
  QCOMPARE(list.GetOwnText(enter + 1), QStringLiteral("C6000() {"));
  QCOMPARE(list.GetCount(), shown - (kSegment - 999));
  QCOMPARE(list.HiddenRanges(), (std::vector<SHeldRange>{{enter + 1, enter + 999}}));
  list.UnfoldCall(enter);
  QVERIFY(!list.HasLineFilter());
  QCOMPARE(list.GetCount(), 2 * kSegment);
}

QTEST_MAIN(TestFoldCommands)
#include "tst_foldcommands.moc"
