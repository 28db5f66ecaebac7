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
using zef::test::ClickCaptionOk;
using zef::test::WhenOpen;

class TestFiltersDlg : public QObject {
  Q_OBJECT
 private slots:
  void editedRulesWrittenBackOnOk();
  void cancelKeepsTheSection();
  void badRegexIsNamed();
};

namespace {
template <class T>
T& Child(CDialog& dlg, const char* name) {
  T* child = dlg.findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no %s", name);
  return *child;
}
void Click(CDialog& dlg, const char* name) { QTest::mouseClick(&Child<QPushButton>(dlg, name), Qt::LeftButton); }
void Type(CDialog& dlg, const char* name, const QString& text) {
  QLineEdit& edit = Child<QLineEdit>(dlg, name);
  edit.selectAll();
  QTest::keyClicks(&edit, text);
}
SFilterRule Rule(const QString& text, EFilterAction action) { return SFilterRule{text, false, {}, action, 0}; }
}  // namespace

void TestFiltersDlg::editedRulesWrittenBackOnOk() {
  CFilterSettings settings;
  settings.m_vRules = {Rule(QStringLiteral("noise"), EFilterAction::Hide)};
  WhenOpen([](CDialog& dlg) {
    QListWidget& list = Child<QListWidget>(dlg, "filterList");
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.item(0)->text(), QStringLiteral("Hide: noise"));
    Click(dlg, "filterAdd");
    Type(dlg, "filterText", QStringLiteral("^err"));
    QTest::mouseClick(&Child<QCheckBox>(dlg, "filterRegex"), Qt::LeftButton, {}, QPoint(4, 4));
    Type(dlg, "filterSender", QStringLiteral("worker"));
    Child<QComboBox>(dlg, "filterAction").setCurrentIndex(int(EFilterAction::Highlight));
    Child<QComboBox>(dlg, "filterColour").setCurrentIndex(5);
    QCOMPARE(list.item(1)->text(), QStringLiteral("Highlight: re:^err @worker"));
    Click(dlg, "filterUp");
    QCOMPARE(list.currentRow(), 0);
    Click(dlg, "filterAdd");  // left empty: dropped on OK
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
    Click(dlg, "filterRemove");
    QCOMPARE(Child<QListWidget>(dlg, "filterList").count(), 1);
    Type(dlg, "filterText", QStringLiteral("c"));
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QVERIFY(!RunSettingsDialog<CFiltersDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings, before);
}

void TestFiltersDlg::badRegexIsNamed() {
  CFilterSettings settings;
  WhenOpen([](CDialog& dlg) {
    QVERIFY(!Child<QPushButton>(dlg, "filterRemove").isEnabled());
    Click(dlg, "filterAdd");
    QTest::mouseClick(&Child<QCheckBox>(dlg, "filterRegex"), Qt::LeftButton, {}, QPoint(4, 4));
    Type(dlg, "filterText", QStringLiteral("(a"));
    QVERIFY(Child<QLabel>(dlg, "filterError").text().contains(u"missing )"));
    Type(dlg, "filterText", QStringLiteral("(a)"));
    QVERIFY(Child<QLabel>(dlg, "filterError").text().isEmpty());
    ClickCaptionOk(dlg);
  });
  QVERIFY(RunSettingsDialog<CFiltersDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_vRules.size(), std::size_t(1));
}

QTEST_MAIN(TestFiltersDlg)
#include "tst_filtersdlg.moc"
