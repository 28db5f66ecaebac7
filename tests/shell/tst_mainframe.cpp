// The main window: window tree, menu, command routing, intake and log file.
#include "monitor/monitorcommands.h"
#include "shell/optioncommands.h"
#include "tests/shell/fixture.h"
#include "res/menu.h"

#include <QApplication>
#include <QPointer>
#include <QMenuBar>
#include <QTimer>
#include <QScrollBar>

using namespace zef;
using zef::test::CFrameFixture;

class TestMainFrame : public QObject {
  Q_OBJECT
 private slots:
  void titleAndWindowTree();
  void menuBarMatchesTheResource();
  void everyCommandReachesAHandlerOrIsGreyed();
  void entryFromBufferRightAfterStart();
  void bufferHandOverAppendsIndentedLines();
  void logFileRecordsWhatIsAppended();
  void unopenableLogFileGivesFatalLineBeforeEachLine();
  void loggingOffNeverTouchesTheFile();
  void quickDrawDecidesScrolling();
  void exitAsksAndNoKeepsRunning();
  void settingChangeFitsOnlyWhenAdjusting();
  void contentsOpensHelp();
  void helpClosesFromTheKeyboard_data();
  void helpClosesFromTheKeyboard();
  void secondMonitorSaysWhereTraceClientsGo();
};

void TestMainFrame::titleAndWindowTree() {
  CFrameFixture f;
  QCOMPARE(f.Frame().windowTitle(), QStringLiteral("ZEF"));
  const HWND frame = FindWindow(QStringLiteral("ZEF"));
  QCOMPARE(frame, f.Frame().GetSafeHwnd());
  const HWND view = GetWindow(frame, GW_CHILD);
  QCOMPARE(view, f.Frame().GetView().GetSafeHwnd());
  QCOMPARE(GetWindow(view, GW_CHILD), f.List().GetSafeHwnd());
  QCOMPARE(f.Frame().centralWidget(), &f.Frame().GetView());
}

namespace {
// The menu bar flattened to lines: depth, caption, id (0 for popups), '-' for
// separators.
void Flatten(const QList<QAction*>& actions, int depth, QStringList& out) {
  for (QAction* action : actions) {
    if (action->isSeparator())
      out << QStringLiteral("%1 -").arg(depth);
    else if (action->menu()) {
      out << QStringLiteral("%1 %2 0").arg(depth).arg(action->text());
      Flatten(action->menu()->actions(), depth + 1, out);
    } else
      out << QStringLiteral("%1 %2 %3").arg(depth).arg(action->text()).arg(action->data().toUInt());
  }
}
void Flatten(const std::vector<MenuItem>& items, int depth, QStringList& out) {
  for (const MenuItem& item : items) {
    if (item.kind == MenuItem::Kind::Separator)
      out << QStringLiteral("%1 -").arg(depth);
    else {
      out << QStringLiteral("%1 %2 %3").arg(depth).arg(item.caption).arg(ToUInt(item.id));
      Flatten(item.items, depth + 1, out);
    }
  }
}
}  // namespace

void TestMainFrame::menuBarMatchesTheResource() {
  CFrameFixture f;
  QStringList shown;
  Flatten(f.Frame().menuBar()->actions(), 0, shown);
  QStringList resource;
  Flatten(MainMenu(), 0, resource);
  QCOMPARE(shown, resource);
  // A few fixed points of the resource itself.
  QCOMPARE(resource.first(), QStringLiteral("0  &!  0"));
  QVERIFY(resource.contains(QStringLiteral("1 &Look && Feel... 32804")));
  QVERIFY(resource.contains(QStringLiteral("1 Entry from Buffer 32779")));
  QCOMPARE(MenuCommandIds().size(), size_t(32));
}

void TestMainFrame::everyCommandReachesAHandlerOrIsGreyed() {
  CFrameFixture f;
  // Commands that open a modal dialog get it closed again at once.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  closer.start(5);
  // Opening every popup runs the update handlers; an enabled item must be
  // handled when delivered by its number.
  const QList<QMenu*> menus = f.Frame().menuBar()->findChildren<QMenu*>();
  for (QMenu* menu : menus) {
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || action->menu() || !action->isEnabled()) continue;
      const auto id = CommandId(action->data().toUInt());
      if (id == CommandId::AppExit || id == CommandId::HelpContents) continue;  // exercised below
      // The faults end or hang the process: tests/stress runs them in one of its own.
      if (id >= CommandId::DivisionByZero && id <= CommandId::UnterminatedRecursion) continue;
      QVERIFY2(f.Frame().OnCmdMsg(id), qPrintable(action->text()));
    }
  }
  // Unknown numbers are not handled and change nothing.
  QVERIFY(!f.Frame().OnCmdMsg(CommandId(12345)));
}

void TestMainFrame::entryFromBufferRightAfterStart() {
  CFrameFixture f;
  f.Frame().AppendLine(QStringLiteral("a {"));
  SendMessage(f.Frame().GetSafeHwnd(), WM_COMMAND, ToUInt(CommandId::EntryFromBuffer));
  // One level less than the current depth, and the depth is unchanged.
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("a {"), QStringLiteral("{...}")}));
  f.Frame().AppendLine(QStringLiteral("x"));
  QCOMPARE(f.Lines().last(), QStringLiteral("  x"));
}

void TestMainFrame::bufferHandOverAppendsIndentedLines() {
  CFrameFixture f;
  const HWND frame = FindWindow(QStringLiteral("ZEF"));
  const HWND buffer = GetWindow(GetWindow(frame, GW_CHILD), GW_CHILD);
  for (const QString& line : {QStringLiteral("Load() {"), QStringLiteral("reading"), QStringLiteral("} Load() (0)")}) {
    SendMessage(buffer, WM_SETTEXT, 0, line);
    SendMessage(frame, WM_COMMAND, kEntryFromBufferCommand);
    SendMessage(buffer, WM_SETTEXT, 0, QString::fromUtf16(kBufferMarker));
  }
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("Load() {"), QStringLiteral("  reading"), QStringLiteral("} Load() (0)")}));
  QCOMPARE(GetWindowText(buffer), QStringLiteral("{QRBDBGLOG}"));
}

void TestMainFrame::logFileRecordsWhatIsAppended() {
  CFrameFixture f;
  const QString path = f.TempPath(QStringLiteral("monitor.log"));
  f.Frame().Settings().monitor.m_bLogToFile = true;
  f.Frame().Settings().monitor.m_strLogFile = path;
  f.Frame().AppendLine(QStringLiteral("a {"));
  f.Frame().AppendLine(QStringLiteral("b {"));
  f.Frame().AppendLine(QStringLiteral("Hello"));
  QCOMPARE(f.Lines().last(), QStringLiteral("    Hello"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("a {\r\nb {\r\nHello\r\n"));
}

void TestMainFrame::unopenableLogFileGivesFatalLineBeforeEachLine() {
  CFrameFixture f;
  f.Frame().Settings().monitor.m_bLogToFile = true;
  f.Frame().Settings().monitor.m_strLogFile = f.TempPath(QStringLiteral("no/such/dir/x.log"));
  f.Frame().AppendLine(QStringLiteral("a {"));
  f.Frame().AppendLine(QStringLiteral("b"));
  const QString fatal = QStringLiteral("FATAL: Failed to open log file!");
  // Indented like any line, not logged, and repeated for every line.
  QCOMPARE(f.Lines(), (QStringList{fatal, QStringLiteral("a {"), QStringLiteral("  ") + fatal, QStringLiteral("  b")}));
  QVERIFY(f.Frame().Settings().monitor.m_bLogToFile);
}

void TestMainFrame::loggingOffNeverTouchesTheFile() {
  CFrameFixture f;
  const QString path = f.TempPath(QStringLiteral("never.log"));
  f.Frame().Settings().monitor.m_strLogFile = path;
  f.Frame().AppendLine(QStringLiteral("x"));
  QVERIFY(!QFile::exists(path));
  QCOMPARE(f.Lines(), QStringList{QStringLiteral("x")});
}

void TestMainFrame::quickDrawDecidesScrolling() {
  CFrameFixture f;
  f.Frame().resize(300, 200);
  QScrollBar* bar = f.List().verticalScrollBar();
  for (int i = 0; i < 500; ++i) f.Frame().AppendLine(QStringLiteral("line %1").arg(i));
  QCOMPARE(f.List().GetTopIndex(), 0);  // quick draw on: no scrolling
  f.Frame().ScrollToEnd();
  int minPos = 0, maxPos = 0;
  f.List().GetScrollRange(SB_VERT, &minPos, &maxPos);
  QVERIFY(maxPos > 0);
  QCOMPARE(f.List().GetScrollPos(SB_VERT), maxPos);
  Q_UNUSED(bar);

  f.Frame().Settings().monitor.m_bQuickDraw = false;
  for (int i = 0; i < 100; ++i) f.Frame().AppendLine(QStringLiteral("more %1").arg(i));
  f.List().GetScrollRange(SB_VERT, &minPos, &maxPos);
  QCOMPARE(f.List().GetScrollPos(SB_VERT), maxPos);
}

void TestMainFrame::exitAsksAndNoKeepsRunning() {
  CFrameFixture f;
  f.Answer({IDNO});
  QVERIFY(f.Frame().OnCmdMsg(CommandId::AppExit));
  QCOMPARE(f.Boxes().size(), size_t(1));
  QVERIFY(f.Frame().isVisible());
  f.Answer({IDYES});
  SendMessage(f.Frame().GetSafeHwnd(), WM_COMMAND, ToUInt(CommandId::AppExit));
  QVERIFY(!f.Frame().isVisible());
}

void TestMainFrame::settingChangeFitsOnlyWhenAdjusting() {
  CFrameFixture f;
  f.Frame().resize(321, 123);
  const QSize before = f.Frame().size();
  f.Frame().OnSettingChange();
  QCOMPARE(f.Frame().size(), before);
  f.Frame().Settings().general.m_bAdjustWndSip = true;
  f.Frame().OnSettingChange();
  QVERIFY(f.Frame().size() != before);
}

void TestMainFrame::contentsOpensHelp() {
  CFrameFixture f;
  QVERIFY(f.Frame().OnCmdMsg(CommandId::HelpContents));
  QVERIFY(f.Frame().GetFeature<COptionCommands>()->HelpWindow());
  QTRY_VERIFY(f.Frame().GetFeature<COptionCommands>()->HelpWindow()->isVisible());
  QVERIFY(f.Frame().GetFeature<COptionCommands>()->HelpWindow()->toPlainText().contains(QStringLiteral("Trace line conventions")));
}

void TestMainFrame::helpClosesFromTheKeyboard_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier);
  QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
}

void TestMainFrame::helpClosesFromTheKeyboard() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  CFrameFixture f;
  QVERIFY(f.Frame().OnCmdMsg(CommandId::HelpContents));
  QPointer<QTextBrowser> help = f.Frame().GetFeature<COptionCommands>()->HelpWindow();
  QVERIFY(help);
  QVERIFY(QTest::qWaitForWindowActive(help));
  QTest::keyClick(help, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QTRY_VERIFY(!help || !help->isVisible());
  // The monitor stays.
  QVERIFY(f.Frame().isVisible());
}

void TestMainFrame::secondMonitorSaysWhereTraceClientsGo() {
  QTemporaryDir runtime;
  CFrameFixture first({}, runtime.path());
  QVERIFY(first.Lines().isEmpty());
  CFrameFixture second({}, runtime.path());
  QVERIFY(second.m_bCreated);
  QCOMPARE(second.Lines().value(0),
           QStringLiteral("Another ZEFMON is already running: trace clients reach that one, not this one."));
  // Not exactly over the first one.
  QVERIFY(second.Frame().pos() != first.Frame().pos());
  QVERIFY(second.Frame().isVisible());
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
