// The process and window commands from the main window's menu, with their
// confirmations, and the first popup's selection-driven items.
#include "tests/support/findaction.h"
#include "tests/support/fixture.h"
#include "tests/support/tracecapture.h"

#include <QMenu>
#include <QMenuBar>
#include <QProcess>

using namespace zef;
using zef::test::CFrameFixture;
using zef::test::FindAction;
using zef::test::Hex4;

class TestExploreCommands : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void init();
  void cleanupTestCase();
  void listProcessesWritesTheHeaderAndOneLinePerProcess();
  void terminateAsksFirstAndOnlyYesEndsTheProcess_data();
  void terminateAsksFirstAndOnlyYesEndsTheProcess();
  void confirmationNamesTheIdWithFourDigits();
  void terminateLeavesAProcessThatHasAnotherName();
  void firstPopupSetsItemsFromTheSelection_data();
  void firstPopupSetsItemsFromTheSelection();
  void otherPopupsKeepTheirUpdateHandlersOnly();
  void listWindowsShowsTheProgramsOwnWindows();
  void closingTheMainWindowRunsItsOwnConfirmation();
  void closingAWindowThatIsGoneGivesTheFailureLine();

 private:
  CFrameFixture& F() { return *m_pFixture; }
  QMenu* FirstPopup() { return F().Frame().menuBar()->actions().at(0)->menu(); }
  void AppendAndSelect(const QStringList& lines, const QList<int>& selected) {
    for (const QString& line : lines) F().Frame().AppendLine(line);
    for (int index : selected) F().List().SetSel(true, index);
  }
  // Starts the three-thread child and waits until it is ready.
  static bool StartChild(QProcess& child) {
    child.start(QStringLiteral(ZEF_TESTCHILD), {});
    if (!child.waitForStarted()) return false;
    while (!child.canReadLine())
      if (!child.waitForReadyRead(10000)) return false;
    return true;
  }
  int IndexOf(const QString& part) {
    const QStringList lines = F().Lines();
    for (int i = 0; i < lines.size(); ++i)
      if (lines[i].contains(part)) return i;
    return -1;
  }

  // One main window for the whole run: the trace channel looks its monitor
  // up once per process.
  std::unique_ptr<CFrameFixture> m_pFixture;
};

void TestExploreCommands::initTestCase() {
  m_pFixture = std::make_unique<CFrameFixture>();
  QVERIFY(F().m_bCreated);
}

void TestExploreCommands::init() {
  F().Frame().GetList().SetIndent(QStringLiteral("  "));
  F().List().ResetContent();
  F().Boxes().clear();
}

void TestExploreCommands::cleanupTestCase() { m_pFixture.reset(); }

void TestExploreCommands::listProcessesWritesTheHeaderAndOneLinePerProcess() {
  QVERIFY(F().Frame().OnCmdMsg(CommandId::ProcessListAll));
  const QStringList lines = F().Lines();
  QCOMPARE(lines.mid(0, 2),
           (QStringList{QStringLiteral("Enum processes..."), QStringLiteral("ZEFMON_EnumProcesses() {")}));
  QCOMPARE(lines.last(), QStringLiteral("} ZEFMON_EnumProcesses()"));
  // One level deeper than the scope lines.
  const QString self = QStringLiteral("  pid=0x%1, threads=").arg(QCoreApplication::applicationPid(), 0, 16);
  QVERIFY(std::any_of(lines.begin(), lines.end(), [&self](const QString& line) {
    return line.startsWith(self) && line.endsWith(QStringLiteral(", tst_explorecommands"));
  }));
  QCOMPARE(F().Boxes().size(), size_t(0));
}

void TestExploreCommands::terminateAsksFirstAndOnlyYesEndsTheProcess_data() {
  QTest::addColumn<QString>("indent");
  QTest::newRow("two blanks") << QStringLiteral("  ");
  // The listing's lines are then shown without any indent.
  QTest::newRow("empty indent") << QString();
}

void TestExploreCommands::terminateAsksFirstAndOnlyYesEndsTheProcess() {
  QFETCH(QString, indent);
  F().Frame().GetList().SetIndent(indent);
  QProcess child;
  QVERIFY(StartChild(child));
  const auto pid = std::uint32_t(child.processId());

  F().Frame().OnCmdMsg(CommandId::ProcessListAll);
  const int line = IndexOf(QStringLiteral("pid=0x%1, threads=3, zef_explore_testchild").arg(pid, 0, 16));
  QVERIFY(line > 0);
  // The listing's line, one indent deeper than its scope.
  QCOMPARE(F().Lines()[line], indent + QStringLiteral("pid=0x%1, threads=3, zef_explore_testchild").arg(pid, 0, 16));
  QVERIFY(!F().Frame().IsCommandEnabled(CommandId::ProcessTerminate));
  F().List().SetSel(true, line);
  QVERIFY(F().Frame().IsCommandEnabled(CommandId::ProcessTerminate));
  QCOMPARE(F().Frame().GetSelectedProcessId(), pid);

  // No: nothing is written, not even the scope.
  const int count = F().List().GetCount();
  F().Answer({IDNO});
  QVERIFY(F().Frame().OnCmdMsg(CommandId::ProcessTerminate));
  QCOMPARE(F().Boxes().size(), size_t(1));
  QCOMPARE(F().Boxes()[0].text,
           QStringLiteral("Really terminate process <%1> (zef_explore_testchild)?").arg(Hex4(pid)));
  QCOMPARE(F().Boxes()[0].caption, QStringLiteral("ZEFMON"));
  QCOMPARE(F().Boxes()[0].style, std::uint32_t(MB_YESNO | MB_ICONQUESTION));
  QCOMPARE(F().List().GetCount(), count);
  QCOMPARE(child.state(), QProcess::Running);

  F().Answer({IDYES});
  QVERIFY(F().Frame().OnCmdMsg(CommandId::ProcessTerminate));
  QCOMPARE(F().Lines().mid(count), (QStringList{QStringLiteral("ZEFMON_TerminateProcess() {"),
                                                indent + QStringLiteral("Process %1 terminated.").arg(Hex4(pid)),
                                                QStringLiteral("} ZEFMON_TerminateProcess()")}));
  QVERIFY(child.waitForFinished(10000));
  QCOMPARE(child.exitStatus(), QProcess::CrashExit);
}

void TestExploreCommands::confirmationNamesTheIdWithFourDigits() {
  AppendAndSelect({QStringLiteral("pid=0x4a, threads=2, x.exe"), QStringLiteral("hwnd=0xa4, class=Dialog, name='X'")},
                  {0});
  F().Answer({IDNO});
  F().Frame().OnCmdMsg(CommandId::ProcessTerminate);
  F().List().SetSel(false, -1);
  F().List().SetSel(true, 1);
  F().Answer({IDNO});
  F().Frame().OnCmdMsg(CommandId::WindowClose);
  QCOMPARE(F().Boxes().size(), size_t(2));
  QCOMPARE(F().Boxes()[0].text, QStringLiteral("Really terminate process <0x004a> (x.exe)?"));
  QCOMPARE(F().Boxes()[1].text, QStringLiteral("Really close window <0x00a4>?"));
  QCOMPARE(F().Boxes()[1].style, std::uint32_t(MB_YESNO | MB_ICONQUESTION));
  QCOMPARE(F().List().GetCount(), 2);
}

void TestExploreCommands::terminateLeavesAProcessThatHasAnotherName() {
  QProcess child;
  QVERIFY(StartChild(child));
  const auto pid = std::uint32_t(child.processId());
  // A line from a client, or one whose process ended and whose id went to
  // this child: the name it shows is not the child's.
  AppendAndSelect({QStringLiteral("pid=0x%1, threads=1, sleep").arg(pid, 0, 16)}, {0});
  QVERIFY(F().Frame().IsCommandEnabled(CommandId::ProcessTerminate));
  F().Answer({IDYES});
  QVERIFY(F().Frame().OnCmdMsg(CommandId::ProcessTerminate));
  QCOMPARE(F().Boxes().back().text, QStringLiteral("Really terminate process <%1> (sleep)?").arg(Hex4(pid)));
  QCOMPARE(F().Lines().mid(1),
           (QStringList{
               QStringLiteral("ZEFMON_TerminateProcess() {"),
               QStringLiteral("  pid %1 is now zef_explore_testchild, not sleep: nothing terminated").arg(Hex4(pid)),
               QStringLiteral("} ZEFMON_TerminateProcess()")}));
  QVERIFY(!child.waitForFinished(100));
  QCOMPARE(child.state(), QProcess::Running);
  child.closeWriteChannel();
  QVERIFY(child.waitForFinished());
}

void TestExploreCommands::firstPopupSetsItemsFromTheSelection_data() {
  QTest::addColumn<QStringList>("lines");
  QTest::addColumn<QList<int>>("selected");
  // List records, Delete database, Delete record, Terminate process, Close window.
  QTest::addColumn<QList<bool>>("expected");
  const QString process = QStringLiteral("pid=0x4a, threads=2, x.exe");
  const QString window = QStringLiteral("hwnd=0x00a4, class=Dialog, name='X'");
  const QString database = QStringLiteral("\"Contacts\" type=0 records=2, size=1 KB");
  QTest::newRow("nothing selected") << QStringList{process, window, database} << QList<int>{}
                                    << QList<bool>{false, false, false, false, false};
  QTest::newRow("two lines") << QStringList{process, window} << QList<int>{0, 1}
                             << QList<bool>{false, false, true, false, false};
  QTest::newRow("one process line") << QStringList{process, window} << QList<int>{0}
                                    << QList<bool>{false, false, false, true, false};
  QTest::newRow("one window line") << QStringList{process, window} << QList<int>{1}
                                   << QList<bool>{false, false, false, false, true};
  QTest::newRow("one database line") << QStringList{database, process} << QList<int>{0}
                                     << QList<bool>{true, true, false, false, false};
  QTest::newRow("text before the key") << QStringList{QStringLiteral("x pid=0x4a, threads=2, x.exe")} << QList<int>{0}
                                       << QList<bool>{false, false, false, false, false};
  QTest::newRow("window text before the key") << QStringList{QStringLiteral(" hwnd=0x00a4, class=Dialog, name='X'")}
                                              << QList<int>{0} << QList<bool>{false, false, false, false, false};
  QTest::newRow("id zero") << QStringList{QStringLiteral("pid=0x0, threads=2, x.exe")} << QList<int>{0}
                           << QList<bool>{false, false, false, false, false};
  QTest::newRow("no thread count") << QStringList{QStringLiteral("pid=0x30, anything")} << QList<int>{0}
                                   << QList<bool>{false, false, false, false, false};
  QTest::newRow("database line without its tail") << QStringList{QStringLiteral("\"Contacts\" type=0")} << QList<int>{0}
                                                  << QList<bool>{false, false, false, false, false};
}

void TestExploreCommands::firstPopupSetsItemsFromTheSelection() {
  QFETCH(QStringList, lines);
  QFETCH(QList<int>, selected);
  QFETCH(QList<bool>, expected);
  AppendAndSelect(lines, selected);
  emit FirstPopup()->aboutToShow();
  const CommandId ids[] = {CommandId::DatabaseListRecords, CommandId::DatabaseDelete, CommandId::DatabaseDeleteRecord,
                           CommandId::ProcessTerminate, CommandId::WindowClose};
  for (int i = 0; i < 5; ++i) {
    QAction* action = FindAction(FirstPopup(), ids[i]);
    QVERIFY(action);
    // A command that nothing handles yet stays greyed whatever the selection.
    const bool handled = F().Frame().IsCommandEnabled(ids[i]) || !expected[i];
    QVERIFY2(action->isEnabled() == (expected[i] && handled), qPrintable(action->text()));
  }
  // The sub-popups' own update handlers agree when they open.
  for (const int position : {3, 4}) emit FirstPopup()->actions().at(position)->menu()->aboutToShow();
  QCOMPARE(FindAction(FirstPopup(), CommandId::ProcessTerminate)->isEnabled(), expected[3]);
  QCOMPARE(FindAction(FirstPopup(), CommandId::WindowClose)->isEnabled(), expected[4]);
  QVERIFY(FindAction(FirstPopup(), CommandId::ProcessListAll)->isEnabled());
  QVERIFY(FindAction(FirstPopup(), CommandId::WindowListAll)->isEnabled());
}

void TestExploreCommands::otherPopupsKeepTheirUpdateHandlersOnly() {
  AppendAndSelect({QStringLiteral("pid=0x4a, threads=2, x.exe")}, {0});
  QAction* terminate = FindAction(FirstPopup(), CommandId::ProcessTerminate);
  terminate->setEnabled(false);
  QMenu* monitor = F().Frame().menuBar()->actions().at(2)->menu();
  emit monitor->aboutToShow();
  QVERIFY(!terminate->isEnabled());
  emit FirstPopup()->aboutToShow();
  QVERIFY(terminate->isEnabled());
}

void TestExploreCommands::listWindowsShowsTheProgramsOwnWindows() {
  QVERIFY(F().Frame().OnCmdMsg(CommandId::WindowListAll));
  const QString main =
      QStringLiteral("  hwnd=%1, class=zef::CMainFrame, name='ZEF'").arg(Hex4(std::uint32_t(F().Frame().winId())));
  QCOMPARE(F().Lines(), (QStringList{QStringLiteral("Enum windows..."), QStringLiteral("ZEFMON_EnumWindows() {"), main,
                                     QStringLiteral("} ZEFMON_EnumWindows()")}));
}

void TestExploreCommands::closingTheMainWindowRunsItsOwnConfirmation() {
  F().Frame().OnCmdMsg(CommandId::WindowListAll);
  const int line = IndexOf(QStringLiteral("name='ZEF'"));
  QVERIFY(line > 0);
  F().List().SetSel(true, line);
  QCOMPARE(F().Frame().GetSelectedWindowHandle(), std::uint32_t(F().Frame().winId()));
  const int count = F().List().GetCount();
  F().Answer({IDYES, IDNO});
  QVERIFY(F().Frame().OnCmdMsg(CommandId::WindowClose));
  QCOMPARE(F().Boxes().size(), size_t(2));
  QCOMPARE(F().Boxes()[0].text,
           QStringLiteral("Really close window <%1>?").arg(Hex4(std::uint32_t(F().Frame().winId()))));
  QCOMPARE(F().Boxes()[1].text, QStringLiteral("Really quit ZEFMON?"));
  QVERIFY(F().Frame().isVisible());
  QCOMPARE(F().Lines().mid(count),
           (QStringList{QStringLiteral("ZEFMON_CloseWindow() {"), QStringLiteral("} ZEFMON_CloseWindow()")}));
}

void TestExploreCommands::closingAWindowThatIsGoneGivesTheFailureLine() {
  AppendAndSelect({QStringLiteral("hwnd=0x7777, class=Gone, name='stale'")}, {0});
  F().Answer({IDYES});
  F().Frame().OnCmdMsg(CommandId::WindowClose);
  QCOMPARE(F().Lines().mid(1), (QStringList{QStringLiteral("ZEFMON_CloseWindow() {"),
                                            QStringLiteral("  Failed to close window. HRESULT: 0x0006"),
                                            QStringLiteral("} ZEFMON_CloseWindow()")}));
}

QTEST_MAIN(TestExploreCommands)
#include "tst_explorecommands.moc"
