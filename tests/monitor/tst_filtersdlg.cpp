// The Filters dialog: rules added, edited and moved reach the section only
// on OK; a bad regular expression is named while it is typed.
#include "monitor/filtersdlg.h"
#include "platform/dialog/settingsdialog.h"
#include "tests/support/dialogdriver.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTest>

using namespace zef;
using zef::test::Child;
using zef::test::ClickCaptionOk;
using zef::test::ClickChild;
using zef::test::TickChild;
using zef::test::TypeIntoChild;
using zef::test::WhenOpen;

class TestFiltersDlg : public QObject {
  Q_OBJECT
 private slots:
  void editedRulesWrittenBackOnOk();
  void cancelKeepsTheSection();
  void badRegexIsNamed();
};

namespace {
SFilterRule Rule(const QString& text, EFilterAction action) { return SFilterRule{text, false, {}, action, 0}; }
}  // namespace

void TestFiltersDlg::editedRulesWrittenBackOnOk() {
  CFilterSettings settings;
  settings.m_vRules = {Rule(QStringLiteral("noise"), EFilterAction::Hide)};
  WhenOpen([](CDialog& dlg) {
    QListWidget& list = Child<QListWidget>(dlg, "filterList");
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.item(0)->text(), QStringLiteral("Hide: noise"));
    ClickChild(dlg, "filterAdd");
    TypeIntoChild(dlg, "filterText", QStringLiteral("^err"));
    TickChild(dlg, "filterRegex");
    TypeIntoChild(dlg, "filterSender", QStringLiteral("worker"));
    Child<QComboBox>(dlg, "filterAction").setCurrentIndex(int(EFilterAction::Highlight));
    Child<QComboBox>(dlg, "filterColour").setCurrentIndex(5);
    QCOMPARE(list.item(1)->text(), QStringLiteral("Highlight: re:^err @worker"));
    ClickChild(dlg, "filterUp");
    QCOMPARE(list.currentRow(), 0);
    ClickChild(dlg, "filterAdd");  // left empty: dropped on OK
    ClickCaptionOk(dlg);
  });
  QVERIFY(RunSettingsDialog<CFiltersDlg>(nullptr, settings, CLookAndFeel{}));
  const std::vector<SFilterRule> expected{
      SFilterRule{QStringLiteral("^err"), true, QStringLiteral("worker"), EFilterAction::Highlight, 5},
      Rule(QStringLiteral("noise"), EFilterAction::Hide)};
  QCOMPARE(settings.m_vRules, expected);
}

void TestFiltersDlg::cancelKeepsTheSection() {
  CFilterSettings settings;
  settings.m_vRules = {Rule(QStringLiteral("a"), EFilterAction::Hide), Rule(QStringLiteral("b"), EFilterAction::Drop)};
  const CFilterSettings before = settings;
  WhenOpen([](CDialog& dlg) {
    ClickChild(dlg, "filterRemove");
    QCOMPARE(Child<QListWidget>(dlg, "filterList").count(), 1);
    TypeIntoChild(dlg, "filterText", QStringLiteral("c"));
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QVERIFY(!RunSettingsDialog<CFiltersDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings, before);
}

void TestFiltersDlg::badRegexIsNamed() {
  CFilterSettings settings;
  WhenOpen([](CDialog& dlg) {
    QVERIFY(!Child<QPushButton>(dlg, "filterRemove").isEnabled());
    ClickChild(dlg, "filterAdd");
    TickChild(dlg, "filterRegex");
    TypeIntoChild(dlg, "filterText", QStringLiteral("(a"));
    QVERIFY(Child<QLabel>(dlg, "filterError").text().contains(u"missing )"));
    TypeIntoChild(dlg, "filterText", QStringLiteral("(a)"));
    QVERIFY(Child<QLabel>(dlg, "filterError").text().isEmpty());
    ClickCaptionOk(dlg);
  });
  QVERIFY(RunSettingsDialog<CFiltersDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_vRules.size(), std::size_t(1));
}

QTEST_MAIN(TestFiltersDlg)
#include "tst_filtersdlg.moc"
