// The filter in the main window: the bar narrows the list as it is typed
// and Escape gives every line back; lines that arrive are judged as they
// come; drop rules keep lines out of the list but not out of the log; the
// list's menu puts a line's text or sender into the bar.
#include "monitor/filterbar.h"
#include "monitor/monitorlist.h"
#include "tests/support/fixture.h"

#include <QLabel>
#include <QLineEdit>

using namespace zef;
using zef::test::CFrameFixture;

class TestFilterBar : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QLocale::setDefault(QLocale::c()); }
  void barNarrowsTheListAndEscapeGivesItBack();
  void slashInTheListOpensTheBar();
  void dropRuleKeepsLinesOutOfTheListNotTheLog();
  void highlightRulesAloneKeepTheListUnfiltered();
  void listMenuPutsTheLineIntoTheBar();
};

namespace {

const QStringList kLines = {QStringLiteral("alpha one"), QStringLiteral("beta two"), QStringLiteral("alpha three"),
                            QStringLiteral("gamma")};

CFilterBar& Bar(CFrameFixture& f) { return *f.List().findChild<CFilterBar*>(); }

void Append(CFrameFixture& f, const QStringList& lines) {
  for (const QString& line : lines) f.Frame().AppendLine(line);
}

QString Counts(CFrameFixture& f) { return Bar(f).findChildren<QLabel*>().front()->text(); }

}  // namespace

void TestFilterBar::barNarrowsTheListAndEscapeGivesItBack() {
  CFrameFixture f;
  Append(f, kLines);
  QVERIFY(Bar(f).isHidden());
  QVERIFY(f.Frame().OnCmdMsg(CommandId::FilterBar));
  QVERIFY(!Bar(f).isHidden());

  Bar(f).SetText(QStringLiteral("alpha"));
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("alpha one"), QStringLiteral("alpha three")}));
  QCOMPARE(Counts(f), QStringLiteral("2 of 4 lines"));
  Bar(f).SetText(QStringLiteral("alpha -three"));
  QCOMPARE(f.Lines(), QStringList{QStringLiteral("alpha one")});

  // Lines that arrive are judged as they come in.
  Append(f, {QStringLiteral("alpha four"), QStringLiteral("delta")});
  QCOMPARE(f.Lines(), (QStringList{QStringLiteral("alpha one"), QStringLiteral("alpha four")}));
  QCOMPARE(f.List().GetHeldCount(), 6);

  QTest::keyClick(Bar(f).findChild<QLineEdit*>(), Qt::Key_Escape);
  QVERIFY(Bar(f).isHidden());
  QCOMPARE(f.List().GetCount(), 6);
  QVERIFY(!f.List().HasLineFilter());
}

void TestFilterBar::slashInTheListOpensTheBar() {
  CFrameFixture f;
  Append(f, kLines);
  QTest::keyClick(&f.List(), '/');
  QVERIFY(!Bar(f).isHidden());
  QCOMPARE(f.List().GetCount(), kLines.size());  // the slash is not a word
}

void TestFilterBar::dropRuleKeepsLinesOutOfTheListNotTheLog() {
  CFrameFixture f;
  CSettingsRecord& settings = f.Frame().Settings();
  settings.filters.m_vRules = {{QStringLiteral("noise"), false, {}, EFilterAction::Drop, 0}};
  settings.monitor.m_bLogToFile = true;
  settings.monitor.m_strLogFile = f.TempPath(QStringLiteral("monitor.log"));
  QVERIFY(f.Frame().ExchangeSettings(DataDirection::FromControls));
  QVERIFY(f.Frame().ExchangeSettings(DataDirection::ToControls));  // the rules as read back

  Append(f, {QStringLiteral("noise 1"), QStringLiteral("keep"), QStringLiteral("more noise")});
  QCOMPARE(f.Lines(), QStringList{QStringLiteral("keep")});
  QCOMPARE(f.List().GetHeldCount(), 1);
  QFile log(settings.monitor.m_strLogFile);
  QVERIFY(log.open(QIODevice::ReadOnly));
  const QByteArray logged = log.readAll();
  QVERIFY(logged.contains("noise 1") && logged.contains("keep") && logged.contains("more noise"));
}

void TestFilterBar::highlightRulesAloneKeepTheListUnfiltered() {
  CFrameFixture f;
  f.Frame().Settings().filters.m_vRules = {{QStringLiteral("alpha"), false, {}, EFilterAction::Highlight, 1}};
  QVERIFY(f.Frame().ExchangeSettings(DataDirection::FromControls));
  QVERIFY(f.Frame().ExchangeSettings(DataDirection::ToControls));
  Append(f, kLines);
  QVERIFY(!f.List().HasLineFilter());  // nothing to hide: lines are not judged on arrival
  QCOMPARE(f.List().GetCount(), kLines.size());
  // The bar still narrows, and Escape gives the list back unfiltered.
  QVERIFY(f.Frame().OnCmdMsg(CommandId::FilterBar));
  Bar(f).SetText(QStringLiteral("beta"));
  QCOMPARE(f.Lines(), QStringList{QStringLiteral("beta two")});
  QTest::keyClick(Bar(f).findChild<QLineEdit*>(), Qt::Key_Escape);
  QVERIFY(!f.List().HasLineFilter());
  QCOMPARE(f.List().GetCount(), kLines.size());
}

void TestFilterBar::listMenuPutsTheLineIntoTheBar() {
  CFrameFixture f;
  QVERIFY(!f.Frame().IsCommandEnabled(CommandId::HideLinesLikeThis));  // no line to act on
  Append(f, kLines);
  f.List().SetSel(true, 1);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::HideLinesLikeThis));
  QCOMPARE(Bar(f).Text(), QStringLiteral("-\"beta two\""));
  QCOMPARE(f.List().GetCount(), 3);

  // Every line here is the monitor's own: showing only its sender keeps them.
  f.List().SetSel(false, -1);
  f.List().SetSel(true, 0);
  QVERIFY(f.Frame().OnCmdMsg(CommandId::ShowOnlyThisSender));
  QVERIFY(Bar(f).Text().startsWith(QStringLiteral("-\"beta two\" @")));
  QCOMPARE(f.List().GetCount(), 3);
}

QTEST_MAIN(TestFilterBar)
#include "tst_filterbar.moc"
