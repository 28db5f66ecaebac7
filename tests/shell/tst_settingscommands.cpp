// The Setup commands and Look & Feel, delivered by their numbers with the
// dialog driven from the keyboard: the values come back on OK only.
#include "tests/support/dialogdriver.h"
#include "tests/support/fixture.h"
#include "tests/shell/settingsrows.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSet>

using namespace zef;
using zef::test::CFrameFixture;
using zef::test::SettingRows;

Q_DECLARE_METATYPE(zef::CommandId)

namespace {

// Visits every control in tab order, once: ticks or clears each check box
// with Space and types `texts[id]` over each edit.
void ChangeEveryControlByKeys(CDialog& dlg, const QHash<int, QString>& texts) {
  QSet<QWidget*> seen;
  for (QWidget* widget = dlg.focusWidget(); widget != nullptr && !seen.contains(widget); widget = dlg.focusWidget()) {
    seen.insert(widget);
    if (qobject_cast<QCheckBox*>(widget) != nullptr) {
      QTest::keyClick(widget, Qt::Key_Space);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      const int id = edit->objectName().mid(int(qstrlen("control"))).toInt();
      QVERIFY2(texts.contains(id), qPrintable(edit->objectName()));
      QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(edit, texts.value(id));
    }
    QTest::keyClick(widget, Qt::Key_Tab);
  }
}

QVariantList AllSettings(CFrameFixture& f) {
  QVariantList values;
  for (const auto& row : SettingRows()) values << row.get(f.Frame(), f.App());
  return values;
}

}  // namespace

class TestSettingsCommands : public QObject {
  Q_OBJECT
 private slots:
  void valuesComeBackOnOkOnly_data();
  void valuesComeBackOnOkOnly();
};

void TestSettingsCommands::valuesComeBackOnOkOnly_data() {
  QTest::addColumn<CommandId>("command");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<QVariantMap>("changed");  // by value name, after an OK

  const QVariantMap options{{QStringLiteral("AskBeforeCloseZEFMON"), false},
                            {QStringLiteral("AskBeforeResetNestedCalls"), false},
                            {QStringLiteral("AskBeforeClearContent"), false},
                            {QStringLiteral("AdjustWndSip"), true}};
  const QVariantMap monitor{
      {QStringLiteral("LogToFile"), true},    {QStringLiteral("LogFile"), QStringLiteral("/nonexistent/keys.log")},
      {QStringLiteral("QDraw"), false},       {QStringLiteral("IndentChars"), QStringLiteral("--")},
      {QStringLiteral("HistoryLimitMB"), 64}, {QStringLiteral("LogRotateMB"), 8},
      {QStringLiteral("LogKeep"), 3}};
  const QVariantMap database{{QStringLiteral("MaxLineLength"), 640}, {QStringLiteral("ConfirmTwice"), false}};
  const QVariantMap lookAndFeel{{QStringLiteral("ShowCancelBtn"), false}, {QStringLiteral("NoFullScreenDlg"), false}};
  for (bool confirm : {true, false}) {
    const char* how = confirm ? "OK" : "Cancel";
    QTest::addRow("Options, %s", how) << CommandId::Options << confirm << options;
    QTest::addRow("Monitor, %s", how) << CommandId::SetupMonitor << confirm << monitor;
    QTest::addRow("Database, %s", how) << CommandId::SetupDatabase << confirm << database;
    QTest::addRow("Look & Feel, %s", how) << CommandId::LookAndFeel << confirm << lookAndFeel;
  }
}

void TestSettingsCommands::valuesComeBackOnOkOnly() {
  QFETCH(CommandId, command);
  QFETCH(bool, confirm);
  QFETCH(QVariantMap, changed);
  CFrameFixture f;
  const QVariantList before = AllSettings(f);
  const QHash<int, QString> texts{{IDC_MON_LOGFILE, QStringLiteral("/nonexistent/keys.log")},
                                  {IDC_MON_INDENT, QStringLiteral("--")},
                                  {IDC_MON_HISTORYLIMIT, QStringLiteral("64")},
                                  {IDC_MON_LOGROTATE, QStringLiteral("8")},
                                  {IDC_MON_LOGKEEP, QStringLiteral("3")},
                                  {IDC_DB_MAXLINELENGTH, QStringLiteral("640")}};
  bool opened = false;
  zef::test::WhenOpen([&](CDialog& dlg) {
    opened = true;
    ChangeEveryControlByKeys(dlg, texts);
    QTest::keyClick(dlg.focusWidget(), confirm ? Qt::Key_Return : Qt::Key_Escape);
  });
  QVERIFY(f.Frame().OnCmdMsg(command));
  QVERIFY(opened);
  QVERIFY(f.Boxes().empty());

  const QVariantList after = AllSettings(f);
  const auto rows = SettingRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QString name = QString::fromLatin1(rows[i].key);
    const QVariant expected = confirm && changed.contains(name) ? changed.value(name) : before[qsizetype(i)];
    QVERIFY2(after[qsizetype(i)] == expected, qPrintable(name));
  }
  // The Monitor command hands a confirmed indent string to the list at once.
  f.Frame().AppendLine(QStringLiteral("f() {"));
  f.Frame().AppendLine(QStringLiteral("x"));
  const bool newIndent = confirm && command == CommandId::SetupMonitor;
  QCOMPARE(f.Lines().last(), newIndent ? QStringLiteral("--x") : QStringLiteral("  x"));
}

QTEST_MAIN(TestSettingsCommands)
#include "tst_settingscommands.moc"
