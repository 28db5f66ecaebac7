// The main window: window tree, menu, command routing, intake and log file.
#include "monitor/monitorcommands.h"
#include "shell/optioncommands.h"
#include "tests/support/fixture.h"
#include "res/menu.h"

#include <zeftrace/trace.h>

#include <QApplication>
#include <QPointer>
#include <QMenuBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QScrollBar>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  void unopenableLogFileGivesFatalLineBeforeEachLine_data();
  void unopenableLogFileGivesFatalLineBeforeEachLine();
  void logPathFromTheHomeDirectory();
  void loggingOffNeverTouchesTheFile();
  void quickDrawDecidesScrolling();
  void scrolledLastLineStaysWhollyVisible_data();
  void scrolledLastLineStaysWhollyVisible();
  void exitAsksAndNoKeepsRunning();
  void settingChangeFitsOnlyWhenAdjusting();
  void contentsOpensHelp();
  void helpClosesFromTheKeyboard_data();
  void helpClosesFromTheKeyboard();
  void secondMonitorSaysWhereTraceClientsGo();
  void ownLinesReachStandardErrorWithControlsShown();
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
    if (action->isSeparator()) out << QStringLiteral("%1 -").arg(depth);
    else if (action->menu()) {
      out << QStringLiteral("%1 %2 0").arg(depth).arg(action->text());
      Flatten(action->menu()->actions(), depth + 1, out);
    } else out << QStringLiteral("%1 %2 %3").arg(depth).arg(action->text()).arg(action->data().toUInt());
  }
}
void Flatten(const std::vector<MenuItem>& items, int depth, QStringList& out) {
  for (const MenuItem& item : items) {
    if (item.kind == MenuItem::Kind::Separator) out << QStringLiteral("%1 -").arg(depth);
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
  QCOMPARE(MenuCommandIds().size(), size_t(42));
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
  QCOMPARE(f.Lines(),
           (QStringList{QStringLiteral("Load() {"), QStringLiteral("  reading"), QStringLiteral("} Load() (0)")}));
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
  f.Frame().AppendLine(QString::fromUtf16(u"Gr\u00FC\u00DFe \u20AC\r\nforged"));
  QCOMPARE(f.Lines()[2], QStringLiteral("    Hello"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("a {\r\nb {\r\nHello\r\nGr\xC3\xBC\xC3\x9F"
                                      "e \xE2\x82\xAC\xE2\x90\x8D\xE2\x90\x8A"
                                      "forged\r\n"));
}

namespace {
// Standard error of this process, caught in a file while it lives.
class CStandardErrorCapture {
 public:
  explicit CStandardErrorCapture(const QString& path) : m_strPath(path) {
    std::fflush(stderr);
    m_nSaved = ::dup(2);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~CStandardErrorCapture() { Restore(); }
  QStringList Lines() {
    Restore();
    QFile file(m_strPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
  }

 private:
  void Restore() {
    if (m_nSaved < 0) return;
    std::fflush(stderr);
    ::dup2(m_nSaved, 2);
    ::close(m_nSaved);
    m_nSaved = -1;
  }
  QString m_strPath;
  int m_nSaved = -1;
};
}  // namespace

void TestMainFrame::unopenableLogFileGivesFatalLineBeforeEachLine_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("reason");
  QTest::newRow("missing directory") << QStringLiteral("no/such/dir/x.log")
                                     << QStringLiteral("No such file or directory");
  QTest::newRow("a directory") << QStringLiteral("dir") << QStringLiteral("not a regular file");
  // Opening a FIFO that nobody reads would wait for a reader.
  QTest::newRow("a FIFO, without waiting") << QStringLiteral("fifo") << QStringLiteral("not a regular file");
}

void TestMainFrame::unopenableLogFileGivesFatalLineBeforeEachLine() {
  QFETCH(QString, kind);
  QFETCH(QString, reason);
  CFrameFixture f;
  const QString path = f.TempPath(kind);
  if (kind == QLatin1String("dir")) QVERIFY(QDir().mkdir(path));
  if (kind == QLatin1String("fifo")) QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  f.Frame().Settings().monitor.m_bLogToFile = true;
  f.Frame().Settings().monitor.m_strLogFile = path;
  CStandardErrorCapture errors(f.TempPath(QStringLiteral("stderr.txt")));
  f.Frame().AppendLine(QStringLiteral("a {"));
  f.Frame().AppendLine(QStringLiteral("b"));
  f.Frame().AppendLine(QStringLiteral("c"));
  const QString fatal = QStringLiteral("FATAL: Failed to open log file!");
  // Indented like any line, not logged, and repeated for every line.
  QCOMPARE(f.Lines(), (QStringList{fatal, QStringLiteral("a {"), QStringLiteral("  ") + fatal, QStringLiteral("  b"),
                                   QStringLiteral("  ") + fatal, QStringLiteral("  c")}));
  QVERIFY(f.Frame().Settings().monitor.m_bLogToFile);
  // Why, once: not once per line.
  const QStringList said = errors.Lines();
  QCOMPARE(said.size(), 1);
  QVERIFY2(said[0].contains(path) && said[0].contains(reason), qPrintable(said[0]));
}

void TestMainFrame::logPathFromTheHomeDirectory() {
  CFrameFixture f;
  const QByteArray home = qgetenv("HOME");
  qputenv("HOME", QFile::encodeName(f.TempPath(QString())));
  f.Frame().Settings().monitor.m_bLogToFile = true;
  for (const QString& stored : {QStringLiteral("~/tilde.log"), QStringLiteral("\\backslash.log")}) {
    f.Frame().Settings().monitor.m_strLogFile = stored;
    f.Frame().AppendLine(QStringLiteral("x"));
  }
  qputenv("HOME", home);
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("x"), QStringLiteral("x")}));
  QVERIFY(QFile::exists(f.TempPath(QStringLiteral("tilde.log"))));
  QVERIFY(QFile::exists(f.TempPath(QStringLiteral("backslash.log"))));
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

void TestMainFrame::scrolledLastLineStaysWhollyVisible_data() {
  QTest::addColumn<bool>("quickDraw");
  QTest::newRow("ScrollToEnd after the output") << true;
  QTest::newRow("each append with quick draw off") << false;
}

void TestMainFrame::scrolledLastLineStaysWhollyVisible() {
  // The last line appended is the first one wider than the view, so it
  // gives the horizontal bar something to scroll: the bar must not cover
  // it, neither at once nor once the layout has caught up.
  QFETCH(bool, quickDraw);
  CFrameFixture f;
  f.Frame().resize(300, 200);
  QVERIFY(QTest::qWaitForWindowExposed(&f.Frame()));
  f.Frame().Settings().monitor.m_bQuickDraw = quickDraw;
  CMonitorList& list = f.List();
  const QSize view = list.viewport()->size();
  const int rowHeight = list.viewport()->fontMetrics().height();
  const auto lastLineShown = [&] {
    const int bottom = (list.GetCount() - list.GetTopIndex()) * rowHeight;
    return list.GetTopIndex() < list.GetCount() && bottom <= list.viewport()->height();
  };
  for (int i = 0; i < 100; ++i) {
    f.Frame().AppendLine(QStringLiteral("line %1").arg(i));
    if (i % 10 == 0) QCoreApplication::processEvents();
  }
  f.Frame().AppendLine(QStringLiteral("a line wider than the view: ") + QString(200, u'w'));
  if (quickDraw) f.Frame().ScrollToEnd();
  QVERIFY(lastLineShown());
  QTRY_VERIFY(list.horizontalScrollBar()->isEnabled());
  QVERIFY(lastLineShown());
  QCOMPARE(list.viewport()->size(), view);
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
  QVERIFY(f.Frame().GetFeature<COptionCommands>()->HelpWindow()->toPlainText().contains(
      QStringLiteral("Trace line conventions")));
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

void TestMainFrame::ownLinesReachStandardErrorWithControlsShown() {
  CFrameFixture fixture;
  QTemporaryFile err;
  QVERIFY(err.open());
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(err.handle(), STDERR_FILENO);
  TraceLine(u"name='\x1b]0;PWNED\a\x1b[31m'\nhwnd=0x0001");
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  err.seek(0);
  QCOMPARE(err.readAll(), QByteArray("name='\\e]0;PWNED\\a\\e[31m'\\nhwnd=0x0001\n"));
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
