// The seams features plug into: their rows found by id in the frame's
// table, commands nobody handles greyed, greyed commands not run by number,
// and the settings sections' two sets of defaults.
#include "res/menu.h"
#include "shell/features.h"
#include "stress/stresscommands.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/findaction.h"
#include "tests/support/fixture.h"
#include "tests/shell/settingsrows.h"

#include <QApplication>
#include <QMenuBar>
#include <QSet>

using namespace zef;
using zef::test::CFrameFixture;
using zef::test::FindAction;
using zef::test::SettingRows;

Q_DECLARE_METATYPE(zef::CommandId)
Q_DECLARE_METATYPE(zef::DialogTemplateId)

namespace {

void Append(CFrameFixture& f, std::initializer_list<const char*> lines) {
  for (const char* line : lines) f.Frame().AppendLine(QString::fromLatin1(line));
}

QMenu* PopupOf(QAction* action) {
  for (QObject* object : action->associatedObjects())
    if (auto* menu = qobject_cast<QMenu*>(object)) return menu;
  return nullptr;
}

// What a command that ran could have changed: the lines, the message boxes
// and windows shown, the timer loop's counter, the gutter's clock.
QStringList Traces(CFrameFixture& f) {
  int shown = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) shown += widget->isVisible() ? 1 : 0;
  return f.Lines() +
         QStringList{QStringLiteral("boxes %1").arg(f.Boxes().size()), QStringLiteral("shown %1").arg(shown),
                     QStringLiteral("counter %1").arg(f.Frame().GetFeature<CStressCommands>()->TimerLoopCounter()),
                     QStringLiteral("since %1").arg(f.Frame().Settings().monitor.m_bTimeSincePrevious)};
}

}  // namespace

class TestFeatures : public QObject {
  Q_OBJECT
 private slots:
  void featureRowsAreFoundById();
  void commandsReachTheirHandlersByNumber_data();
  void commandsReachTheirHandlersByNumber();
  void unmarkLinesReachesTheMonitorByNumber();
  void commandNobodyHandlesStaysGreyed();
  void disabledCommandDoesNotRun_data();
  void disabledCommandDoesNotRun();
  void sectionDefaults_data();
  void sectionDefaults();
};

void TestFeatures::featureRowsAreFoundById() {
  CFrameFixture f;
  // A second set of the same features, over the same monitor, for their rows.
  CSettingsRecord settings;
  const auto features = CreateFeatures(f.Frame(), settings);
  std::vector<CCommandEntry> rows;
  for (const auto& feature : features) feature->AddCommands(rows);
  QVERIFY(!rows.empty());

  std::vector<CommandId> menu = MenuCommandIds();
  for (const CommandId id : MenuCommandIds(IDR_LISTMENU)) menu.push_back(id);
  QSet<std::uint32_t> seen{ToUInt(CommandId::EntryFromBuffer), ToUInt(CommandId::AppExit)};
  for (const CCommandEntry& row : rows) {
    const QByteArray name = QByteArray::number(ToUInt(row.id));
    // An id in two rows, or one the application handles too, would leave one
    // handler unreachable.
    QVERIFY2(!seen.contains(ToUInt(row.id)), name);
    QVERIFY2(!f.App().HasCommand(row.id), name);
    // Every row is reachable from a menu: the menu bar or the list's own.
    QVERIFY2(std::find(menu.begin(), menu.end(), row.id) != menu.end(), name);
    seen.insert(ToUInt(row.id));
  }

  // The frame asks each row's own rule: with no lines, then with lines and a
  // selection on a brace line.
  const auto compareRules = [&] {
    for (const CCommandEntry& row : rows) {
      const bool expected = !row.enabled || row.enabled();
      QVERIFY2(f.Frame().IsCommandEnabled(row.id) == expected, QByteArray::number(ToUInt(row.id)));
    }
  };
  compareRules();
  Append(f, {"A() {", "x", "} A()"});
  f.List().SetCaretIndex(0);
  f.List().SetSel(true, 0);
  compareRules();
}

void TestFeatures::commandsReachTheirHandlersByNumber_data() {
  QTest::addColumn<CommandId>("command");
  QTest::addColumn<DialogTemplateId>("opens");
  QTest::newRow("Options (options feature)") << CommandId::Options << DialogTemplateId::GeneralOptions;
  QTest::newRow("Monitor (options feature)") << CommandId::SetupMonitor << DialogTemplateId::Monitor;
  QTest::newRow("Database (options feature)") << CommandId::SetupDatabase << DialogTemplateId::DatabaseSettings;
  QTest::newRow("Sources (sources feature)") << CommandId::SetupSources << DialogTemplateId::Sources;
  QTest::newRow("Look & Feel (application)") << CommandId::LookAndFeel << DialogTemplateId::LookAndFeel;
  QTest::newRow("About (application)") << CommandId::AppAbout << DialogTemplateId::About;
}

void TestFeatures::commandsReachTheirHandlersByNumber() {
  QFETCH(CommandId, command);
  QFETCH(DialogTemplateId, opens);
  CFrameFixture f;
  DialogTemplateId opened{};
  zef::test::WhenOpen([&](CDialog& dlg) {
    opened = dlg.Template().id;
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QVERIFY(f.Frame().OnCmdMsg(command));
  QCOMPARE(opened, opens);
}

void TestFeatures::unmarkLinesReachesTheMonitorByNumber() {
  CFrameFixture f;
  Append(f, {"a", "b", "c"});
  f.List().SetSel(true, -1);
  QCOMPARE(f.List().GetSelCount(), 3);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::UnmarkLines));
  QCOMPARE(f.List().GetSelCount(), 0);
}

void TestFeatures::commandNobodyHandlesStaysGreyed() {
  CFrameFixture f;
  // Lines selected, so that no selection rule could be what greys an item.
  Append(f, {"\"db\" type=1 records=2, size=3 KB", "pid=0x10, threads=1, x"});
  f.List().SetSel(true, -1);
  // Commands without an enabling rule of their own: enabled once a feature
  // handles them. Those still unhandled are checked.
  const CommandId candidates[] = {CommandId::Calculator,     CommandId::ErrorLookup,   CommandId::DatabaseListAll,
                                  CommandId::ProcessListAll, CommandId::WindowListAll, CommandId::Loop,
                                  CommandId::LoopTimer,      CommandId::SetupLoop};
  int checked = 0;
  for (CommandId id : candidates) {
    if (f.Frame().IsCommandEnabled(id)) continue;
    const QByteArray name = QByteArray::number(ToUInt(id));
    QAction* action = FindAction(f.Frame().menuBar(), id);
    QVERIFY2(action != nullptr, name);
    QMenu* popup = PopupOf(action);
    QVERIFY2(popup != nullptr, name);
    action->setEnabled(true);
    for (int opening = 0; opening < 2; ++opening) {
      emit popup->aboutToShow();
      QVERIFY2(!action->isEnabled(), name);
    }
    QVERIFY2(!f.Frame().OnCmdMsg(id), name);
    ++checked;
  }
  if (checked == 0) QSKIP("every candidate command has a handler now");
}

void TestFeatures::disabledCommandDoesNotRun_data() {
  QTest::addColumn<CommandId>("command");
  QTest::addColumn<bool>("loopRunning");
  QTest::newRow("View line, nothing selected") << CommandId::ViewLine << false;
  QTest::newRow("Find, no lines") << CommandId::Find << false;
  QTest::newRow("Time since previous, gutter off") << CommandId::TimeSincePrevious << false;
  QTest::newRow("Stop timer loop, none running") << CommandId::AbortLoopTimer << false;
  QTest::newRow("Start timer loop, one running") << CommandId::LoopTimer << true;
}

void TestFeatures::disabledCommandDoesNotRun() {
  QFETCH(CommandId, command);
  QFETCH(bool, loopRunning);
  CFrameFixture f;
  if (loopRunning) {
    f.Frame().Settings().loop.m_nTimerLoopInterval = 3600 * 1000;
    QVERIFY(f.Frame().OnCmdMsg(CommandId::LoopTimer));
    f.Frame().OnTimer(CStressCommands::kTimerLoopId);
  }
  QVERIFY(!f.Frame().IsCommandEnabled(command));
  const QStringList before = Traces(f);
  // By number, as a menu item would and as a message sent in-process.
  QVERIFY(f.Frame().OnCmdMsg(command));
  QCOMPARE(Traces(f), before);
  SendMessage(f.Frame().GetSafeHwnd(), WM_COMMAND, ToUInt(command));
  QCOMPARE(Traces(f), before);
}

void TestFeatures::sectionDefaults_data() {
  QTest::addColumn<int>("row");
  const auto rows = SettingRows();
  for (std::size_t i = 0; i < rows.size(); ++i) QTest::newRow(rows[i].key) << int(i);
}

void TestFeatures::sectionDefaults() {
  QFETCH(int, row);
  const auto& setting = SettingRows()[std::size_t(row)];
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("ZEFMON.conf"));
  {
    // Constructed, not yet created: the sections' own initial values.
    CQrbWinApp app(std::make_unique<CProfile>(file));
    CMainFrame frame(app);
    QCOMPARE(setting.get(frame, app), setting.construction);
  }
  // Created with no settings file: what the load puts in for an absent value.
  CFrameFixture f;
  QCOMPARE(setting.get(f.Frame(), f.App()), setting.loadDefault);
}

QTEST_MAIN(TestFeatures)
#include "tst_features.moc"
