// The dialogs of the application object and the option dialogs, run the
// way the command handlers run them.
#include "shell/aboutdlg.h"
#include "explore/databasesettingsdlg.h"
#include "tests/support/dialogdriver.h"
#include "shell/generaloptionsdlg.h"
#include "shell/lookandfeeldlg.h"
#include "res/resources.h"

#include <QLabel>
#include <QScreen>

namespace zef::test {

class TestOptionDialogs : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitResources(); }
  void sectionIsWrittenBackOnOkOnly_data();
  void sectionIsWrittenBackOnOkOnly();
  void maxLineLengthValidation_data();
  void maxLineLengthValidation();
  void outOfRangeValueIsShownAndKeptOnCancel();
  void generalOptionsCancelChangesNothing();
  void generalOptionsOkWritesEveryBox_data();
  void generalOptionsOkWritesEveryBox();
  void lookAndFeel_data();
  void lookAndFeel();
  void lookAndFeelPresentsByItsOwnCopies();
  void aboutIsCentredAndClosedByOk_data();
  void aboutIsCentredAndClosedByOk();
};

namespace {
// A section with a field on no control, over the Database template's two.
struct CProbeSection {
  bool m_bFlag = false;
  int m_nLength = 0;
  int m_nUnbound = 0;
  friend bool operator==(const CProbeSection&, const CProbeSection&) = default;
};
void ExchangeControls(CDataExchange& dx, CProbeSection& section) {
  DDX_Check(dx, IDC_DB_CONFIRMTWICE, section.m_bFlag);
  DDX_Text(dx, IDC_DB_MAXLINELENGTH, section.m_nLength);
}
using CProbeDlg = CSectionDlg<CProbeSection, DialogTemplateId::DatabaseSettings>;
}  // namespace

void TestOptionDialogs::sectionIsWrittenBackOnOkOnly_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("how");
  QTest::addColumn<bool>("written");
  QTest::newRow("Enter") << QStringLiteral("64") << QStringLiteral("enter") << true;
  QTest::newRow("caption ok") << QStringLiteral("64") << QStringLiteral("ok") << true;
  QTest::newRow("Escape") << QStringLiteral("64") << QStringLiteral("escape") << false;
  QTest::newRow("Cancel button") << QStringLiteral("64") << QStringLiteral("cancel") << false;
  // The refused OK read the box into the dialog's copy before the edit.
  QTest::newRow("refused, then Escape") << QStringLiteral("x") << QStringLiteral("enter") << false;
}

void TestOptionDialogs::sectionIsWrittenBackOnOkOnly() {
  QFETCH(QString, typed);
  QFETCH(QString, how);
  QFETCH(bool, written);
  CMessageBoxRecorder boxes;
  const CProbeSection before{false, 100, 7};
  CProbeSection section = before;
  WhenOpen([&](CDialog& dlg) {
    ClickCheckBox(dlg, IDC_DB_CONFIRMTWICE);
    TypeInto(dlg, IDC_DB_MAXLINELENGTH, typed);
    if (how == u"ok") ClickCaptionOk(dlg);
    if (how == u"enter") QTest::keyClick(&dlg, Qt::Key_Return);
    if (how == u"cancel") QTest::mouseClick(&Control<QPushButton>(dlg, IDC_CANCEL), Qt::LeftButton);
    if (dlg.isVisible()) QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QCOMPARE(RunSettingsDialog<CProbeDlg>(nullptr, section, CLookAndFeel{}), written);
  QVERIFY(section == (written ? CProbeSection{true, 64, 7} : before));
}

void TestOptionDialogs::maxLineLengthValidation_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<QString>("message");  // a word the refusal names; empty when none

  QTest::newRow("32, lower bound") << QStringLiteral("32") << true << QString();
  QTest::newRow("1024, upper bound") << QStringLiteral("1024") << true << QString();
  QTest::newRow("blanks around") << QStringLiteral(" 200 ") << true << QString();
  QTest::newRow("31") << QStringLiteral("31") << false << QStringLiteral("between 32 and 1024");
  QTest::newRow("1025") << QStringLiteral("1025") << false << QStringLiteral("between 32 and 1024");
  QTest::newRow("negative") << QStringLiteral("-40") << false << QStringLiteral("between 32 and 1024");
  QTest::newRow("empty") << QString() << false << QStringLiteral("integer.");
  QTest::newRow("letters") << QStringLiteral("12a") << false << QStringLiteral("integer.");
  QTest::newRow("beyond 32 bits") << QStringLiteral("4294967328") << false << QStringLiteral("integer.");
}

void TestOptionDialogs::maxLineLengthValidation() {
  QFETCH(QString, typed);
  QFETCH(bool, accepted);
  QFETCH(QString, message);

  CMessageBoxRecorder boxes;
  CDatabaseSettings settings{100, false};
  WhenOpen([&](CDialog& dlg) {
    ClickCheckBox(dlg, IDC_DB_CONFIRMTWICE);
    TypeInto(dlg, IDC_DB_MAXLINELENGTH, typed);
    QTest::keyClick(dlg.GetDlgItem(IDC_DB_MAXLINELENGTH), Qt::Key_Return);
    if (accepted) return;

    QVERIFY(dlg.isVisible());
    QCOMPARE(boxes.m_boxes.size(), std::size_t{1});
    QVERIFY2(boxes.m_boxes[0].text.contains(message), qPrintable(boxes.m_boxes[0].text));
    QLineEdit& edit = Control<QLineEdit>(dlg, IDC_DB_MAXLINELENGTH);
    QCOMPARE(dlg.focusWidget(), &edit);
    QCOMPARE(edit.selectedText(), edit.text());
    // The caption's ok is refused the same way.
    ClickCaptionOk(dlg);
    QVERIFY(dlg.isVisible());
    QCOMPARE(boxes.m_boxes.size(), std::size_t{2});
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  const bool confirmed = RunSettingsDialog<CDatabaseSettingsDlg>(nullptr, settings, CLookAndFeel{});

  QCOMPARE(confirmed, accepted);
  if (accepted) {
    QVERIFY(boxes.m_boxes.empty());
    QCOMPARE(settings.m_nMaxLineLength, typed.trimmed().toInt());
    QCOMPARE(settings.m_bConfirmTwice, true);
  } else {
    QCOMPARE(settings.m_nMaxLineLength, 100);
    QCOMPARE(settings.m_bConfirmTwice, false);
  }
}

void TestOptionDialogs::outOfRangeValueIsShownAndKeptOnCancel() {
  CMessageBoxRecorder boxes;
  CDatabaseSettings settings{5, true};
  WhenOpen([&](CDialog& dlg) {
    QCOMPARE(Control<QLineEdit>(dlg, IDC_DB_MAXLINELENGTH).text(), QStringLiteral("5"));
    QVERIFY(boxes.m_boxes.empty());
    ClickCaptionOk(dlg);
    QVERIFY(dlg.isVisible());
    QCOMPARE(boxes.m_boxes.size(), std::size_t{1});
    QTest::mouseClick(&Control<QPushButton>(dlg, IDC_CANCEL), Qt::LeftButton);
  });
  QVERIFY(!RunSettingsDialog<CDatabaseSettingsDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_nMaxLineLength, 5);
  QCOMPARE(settings.m_bConfirmTwice, true);
}

namespace {
// Ask before close and before clear, not before reset; no window fitting.
// The line commands' confirmations come first: {{reset, clear}, close, fit}.
const CGeneralOptions kSomeGeneralOptions{{false, true}, true, false};
}  // namespace

void TestOptionDialogs::generalOptionsCancelChangesNothing() {
  const CGeneralOptions before = kSomeGeneralOptions;
  CGeneralOptions options = before;
  WhenOpen([&](CDialog& dlg) {
    for (int id : {IDC_GEN_ASKCLOSE, IDC_GEN_ASKRESET, IDC_GEN_ASKCLEAR, IDC_GEN_ADJUSTSIP}) ClickCheckBox(dlg, id);
    QTest::mouseClick(&Control<QPushButton>(dlg, IDC_CANCEL), Qt::LeftButton);
  });
  QVERIFY(!RunSettingsDialog<CGeneralOptionsDlg>(nullptr, options, CLookAndFeel{}));
  QCOMPARE(options.m_bAskBeforeClose, before.m_bAskBeforeClose);
  QCOMPARE(options.m_bAskBeforeResetNestedCalls, before.m_bAskBeforeResetNestedCalls);
  QCOMPARE(options.m_bAskBeforeClearContent, before.m_bAskBeforeClearContent);
  QCOMPARE(options.m_bAdjustWndSip, before.m_bAdjustWndSip);
}

void TestOptionDialogs::generalOptionsOkWritesEveryBox_data() {
  QTest::addColumn<int>("clicked");  // control whose box is clicked, 0 for none
  QTest::newRow("unchanged") << 0;
  QTest::newRow("ask before close cleared") << int(IDC_GEN_ASKCLOSE);
  QTest::newRow("ask before reset set") << int(IDC_GEN_ASKRESET);
  QTest::newRow("ask before clear cleared") << int(IDC_GEN_ASKCLEAR);
  QTest::newRow("adjust window set") << int(IDC_GEN_ADJUSTSIP);
}

void TestOptionDialogs::generalOptionsOkWritesEveryBox() {
  QFETCH(int, clicked);
  CGeneralOptions options = kSomeGeneralOptions;
  // The dialog's own copy after the run: every box read back. (A stored
  // value other than 0 or 1 is taken as set when the profile is read.)
  CGeneralOptionsDlg dlg(CLookAndFeel{});
  dlg.m_section = options;
  WhenOpen([&](CDialog& open) {
    if (clicked != 0) ClickCheckBox(open, clicked);
    QTest::keyClick(&open, Qt::Key_Return);
  });
  QCOMPARE(dlg.DoModal(), int(IDOK));
  const bool expected[] = {clicked != IDC_GEN_ASKCLOSE, clicked == IDC_GEN_ASKRESET, clicked != IDC_GEN_ASKCLEAR,
                           clicked == IDC_GEN_ADJUSTSIP};
  QCOMPARE(dlg.m_section.m_bAskBeforeClose, expected[0]);
  QCOMPARE(dlg.m_section.m_bAskBeforeResetNestedCalls, expected[1]);
  QCOMPARE(dlg.m_section.m_bAskBeforeClearContent, expected[2]);
  QCOMPARE(dlg.m_section.m_bAdjustWndSip, expected[3]);

  WhenOpen([&](CDialog& open) {
    if (clicked != 0) ClickCheckBox(open, clicked);
    ClickCaptionOk(open);
  });
  QVERIFY(RunSettingsDialog<CGeneralOptionsDlg>(nullptr, options, CLookAndFeel{}));
  QVERIFY(options == dlg.m_section);
}

void TestOptionDialogs::lookAndFeel_data() {
  QTest::addColumn<bool>("showCancel");
  QTest::addColumn<bool>("noFullScreen");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<bool>("toggle");
  QTest::newRow("cancel after toggling both") << true << true << false << true;
  QTest::newRow("cancel unchanged, flags off") << false << false << false << false;
  QTest::newRow("ok with the same states") << true << false << true << false;
  QTest::newRow("ok after toggling both") << true << true << true << true;
}

void TestOptionDialogs::lookAndFeel() {
  QFETCH(bool, showCancel);
  QFETCH(bool, noFullScreen);
  QFETCH(bool, confirm);
  QFETCH(bool, toggle);
  CLookAndFeel flags{showCancel, noFullScreen};
  WhenOpen([&](CDialog& dlg) {
    QCOMPARE(Control<QCheckBox>(dlg, IDC_LAF_SHOWCANCEL).isChecked(), showCancel);
    QCOMPARE(Control<QCheckBox>(dlg, IDC_LAF_NOFULLSCREEN).isChecked(), noFullScreen);
    if (toggle) {
      ClickCheckBox(dlg, IDC_LAF_SHOWCANCEL);
      ClickCheckBox(dlg, IDC_LAF_NOFULLSCREEN);
    }
    QTest::keyClick(&dlg, confirm ? Qt::Key_Return : Qt::Key_Escape);
  });
  QCOMPARE(RunSettingsDialog<CLookAndFeelDlg>(nullptr, flags), confirm);
  const bool changed = confirm && toggle;
  QCOMPARE(flags.m_bShowCancelBtn, changed ? !showCancel : showCancel);
  QCOMPARE(flags.m_bNoFullScreenDlg, changed ? !noFullScreen : noFullScreen);
}

void TestOptionDialogs::lookAndFeelPresentsByItsOwnCopies() {
  CLookAndFeelDlg dlg;
  dlg.m_section = CLookAndFeel{false, false};
  WhenOpen([&](CDialog&) {
    QCOMPARE(dlg.geometry(), dlg.TargetScreen()->availableGeometry());
    QVERIFY(!Control<QPushButton>(dlg, IDC_CANCEL).isVisible());
    ClickCaptionOk(dlg);
  });
  QCOMPARE(dlg.DoModal(), int(IDOK));
}

void TestOptionDialogs::aboutIsCentredAndClosedByOk_data() {
  QTest::addColumn<bool>("byKeyboard");
  QTest::newRow("caption ok") << false;
  QTest::newRow("Enter") << true;
}

void TestOptionDialogs::aboutIsCentredAndClosedByOk() {
  QFETCH(bool, byKeyboard);
  CAboutDlg dlg;
  const QSize natural = dlg.size();
  WhenOpen([&](CDialog&) {
    QVERIFY(!dlg.IsFullScreen());
    QCOMPARE(dlg.size(), natural);
    const QRect available = dlg.TargetScreen()->availableGeometry();
    QVERIFY(qAbs(dlg.geometry().center().x() - available.center().x()) <= 1);
    QVERIFY(dlg.IsCaptionOkShown());
    QVERIFY(dlg.GetDlgItem(IDC_CANCEL) == nullptr);
    const auto labels = dlg.ClientArea()->findChildren<QLabel*>();
    const bool hasText = std::any_of(labels.begin(), labels.end(), [](QLabel* label) {
      return label->text() == QStringLiteral("ZEF Debugging Tool 3.3 ") && label->textFormat() == Qt::PlainText;
    });
    QVERIFY(hasText);
    if (byKeyboard) {
      QTest::keyClick(&dlg, Qt::Key_Return);
    } else {
      ClickCaptionOk(dlg);
    }
  });
  QCOMPARE(dlg.DoModal(), int(IDOK));
}

}  // namespace zef::test

QTEST_MAIN(zef::test::TestOptionDialogs)
#include "tst_optiondialogs.moc"
