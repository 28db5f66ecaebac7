// The dialog framework: presentation, the Cancel button's placement, the
// ways a dialog ends, and the Monitor settings dialog built on it.
#include "tests/support/dialogdriver.h"
#include "monitor/monitordlg.h"

#include <QInputMethod>
#include <QLabel>
#include <QScreen>

Q_DECLARE_METATYPE(zef::CRect)
Q_DECLARE_METATYPE(zef::DialogTemplateId)

namespace zef::test {
namespace {

// The handheld's figures, for PlaceCancelButton's arithmetic. A move of the
// dialog resizes its client area by the same amount; centring moves it to
// the middle of a 240 x 320 screen.
class CFakeGeometry final : public IDialogGeometry {
 public:
  CRect GetWindowRect(const CDialog&) override { return m_dialog; }
  CRect GetWindowRect(const QWidget&) override { return m_button; }
  CRect GetClientRect(const CDialog&) override { return m_client; }
  void MoveWindow(CDialog&, const CRect& rect) override {
    m_client.bottom += rect.Height() - m_dialog.Height();
    m_client.right += rect.Width() - m_dialog.Width();
    m_dialog = rect;
  }
  void CenterWindow(CDialog&) override {
    const int top = (m_nScreenHeight - m_dialog.Height()) / 2;
    m_dialog = {m_dialog.left, top, m_dialog.right, top + m_dialog.Height()};
    ++m_nCentred;
  }
  void MoveButton(QWidget&, const CRect& rect) override { m_buttonMove = rect; }

  CRect m_dialog;
  CRect m_button;
  CRect m_client;
  int m_nScreenHeight = 320;
  int m_nCentred = 0;
  CRect m_buttonMove;
};

// A dialog that presents itself as the always-centred tools do.
class CCentredToolDlg final : public CDialog {
 public:
  explicit CCentredToolDlg(DialogTemplateId id) : CDialog(id) {}

 protected:
  bool OnInitDialog() override {
    PrepareDialog(*this, true);
    CDialog::OnInitDialog();
    return true;
  }
};

// Counts the setting-change messages that reach the dialog.
class CCountingDlg final : public CSettingsDlg {
 public:
  explicit CCountingDlg(const CLookAndFeel& lookAndFeel) : CSettingsDlg(DialogTemplateId::Monitor, lookAndFeel) {}
  LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::intptr_t lParam) override {
    if (message == WM_SETTINGCHANGE) ++m_nSettingChanges;
    return CSettingsDlg::WindowProc(message, wParam, lParam);
  }
  int m_nSettingChanges = 0;
};

QSize NaturalSize(DialogTemplateId id) { return CDialog(id).size(); }

}  // namespace

class TestDialogFramework : public QObject {
  Q_OBJECT

 private slots:
  void placeCancelButtonArithmetic_data();
  void placeCancelButtonArithmetic();
  void settingsDialogPresentation_data();
  void settingsDialogPresentation();
  void toolTemplatesStayCentredWithCloseInView_data();
  void toolTemplatesStayCentredWithCloseInView();
  void settingChangeNeitherMovesNorResizes_data();
  void settingChangeNeitherMovesNorResizes();
  void logFileEditFollowsCheckBoxClicks_data();
  void logFileEditFollowsCheckBoxClicks();
  void monitorEndedWithoutOkChangesNothing_data();
  void monitorEndedWithoutOkChangesNothing();
  void monitorConfirmedWritesBack_data();
  void monitorConfirmedWritesBack();
  void monitorNumbersAreCheckedOnOk_data();
  void monitorNumbersAreCheckedOnOk();
  void firstControlHasFocusOnOpen();
  void dialogWithoutTemplateIsNeverShown();
};

void TestDialogFramework::placeCancelButtonArithmetic_data() {
  QTest::addColumn<bool>("fullScreen");
  QTest::addColumn<CRect>("dialog");
  QTest::addColumn<CRect>("client");
  QTest::addColumn<CRect>("expectedButton");
  QTest::addColumn<int>("expectedDialogHeight");

  // Button 80 x 21 far below the dialog, as the templates place it.
  QTest::newRow("full screen, between bars of equal height")
      << true << CRect{0, 26, 240, 294} << CRect{0, 0, 240, 268} << CRect{80, 242, 160, 263} << 268;
  // The button is placed from the client area alone, so it stays inside the
  // dialog whatever bars or panels surround it.
  QTest::newRow("full screen, touching the screen's bottom")
      << true << CRect{0, 26, 240, 320} << CRect{0, 0, 240, 294} << CRect{80, 268, 160, 289} << 294;
  QTest::newRow("full screen below a 30-pixel top panel of a desktop")
      << true << CRect{0, 30, 1024, 768} << CRect{0, 0, 1022, 711} << CRect{472, 685, 552, 706} << 738;
  QTest::newRow("centred, client 80 high grows by 31")
      << false << CRect{20, 100, 220, 200} << CRect{0, 0, 198, 80} << CRect{60, 85, 140, 106} << 131;
  QTest::newRow("centred, odd width difference truncates")
      << false << CRect{0, 0, 101, 50} << CRect{0, 0, 99, 30} << CRect{10, 35, 90, 56} << 81;
}

void TestDialogFramework::placeCancelButtonArithmetic() {
  QFETCH(bool, fullScreen);
  QFETCH(CRect, dialog);
  QFETCH(CRect, client);
  QFETCH(CRect, expectedButton);
  QFETCH(int, expectedDialogHeight);

  CDialog dlg(DialogTemplateId::Monitor);
  dlg.SetFullScreen(fullScreen);
  QWidget button;
  CFakeGeometry geometry;
  geometry.m_dialog = dialog;
  geometry.m_client = client;
  geometry.m_button = {10, 900, 90, 921};

  PlaceCancelButton(dlg, button, geometry);

  QCOMPARE(geometry.m_buttonMove, expectedButton);
  QCOMPARE(geometry.m_dialog.Height(), expectedDialogHeight);
  QCOMPARE(geometry.m_dialog.Width(), dialog.Width());
  QCOMPARE(geometry.m_nCentred, fullScreen ? 0 : 1);
  QVERIFY(!button.isHidden());
}

void TestDialogFramework::settingsDialogPresentation_data() {
  QTest::addColumn<bool>("showCancel");
  QTest::addColumn<bool>("noFullScreen");
  QTest::newRow("defaults: centred with Cancel") << true << true;
  QTest::newRow("centred without Cancel") << false << true;
  QTest::newRow("full screen with Cancel") << true << false;
  QTest::newRow("full screen without Cancel") << false << false;
}

void TestDialogFramework::settingsDialogPresentation() {
  QFETCH(bool, showCancel);
  QFETCH(bool, noFullScreen);
  const QSize natural = NaturalSize(DialogTemplateId::Monitor);

  CMonitorDlg dlg(CLookAndFeel{showCancel, noFullScreen});
  WhenOpen([&](CDialog& open) {
    QCOMPARE(&open, &dlg);
    const QRect available = dlg.TargetScreen()->availableGeometry();
    QPushButton& cancel = Control<QPushButton>(dlg, IDC_CANCEL);
    const CRect client = dlg.GetClientRect();
    const int grown = showCancel ? cancel.height() + 10 : 0;

    QCOMPARE(dlg.IsFullScreen(), !noFullScreen);
    if (noFullScreen) {
      QCOMPARE(dlg.size(), natural + QSize(0, grown));
      QVERIFY(qAbs(dlg.geometry().center().x() - available.center().x()) <= 1);
      QVERIFY(qAbs(dlg.geometry().center().y() - available.center().y()) <= 1);
    } else {
      QCOMPARE(dlg.geometry(), available);
    }

    if (showCancel) {
      QVERIFY(cancel.isVisible());
      QCOMPARE(cancel.x(), (dlg.width() - cancel.width()) / 2);
      QCOMPARE(cancel.geometry().bottom() + 1, client.bottom - 5);
      QVERIFY(dlg.ClientArea()->rect().contains(cancel.geometry()));
    } else {
      QVERIFY(!cancel.isVisible());
    }
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestDialogFramework::toolTemplatesStayCentredWithCloseInView_data() {
  QTest::addColumn<DialogTemplateId>("templateId");
  QTest::newRow("Error Lookup") << DialogTemplateId::ErrorLookup;
  QTest::newRow("Calculator") << DialogTemplateId::Calculator;
}

void TestDialogFramework::toolTemplatesStayCentredWithCloseInView() {
  QFETCH(DialogTemplateId, templateId);
  CCentredToolDlg dlg(templateId);
  const DialogControl* close = dlg.Template().FindControl(IDC_CANCEL);
  QVERIFY(close != nullptr);
  const QRect templatePlace = dlg.MapDialogRect(close->x, close->y, close->cx, close->cy);

  WhenOpen([&](CDialog&) {
    QVERIFY(!dlg.IsFullScreen());
    QCOMPARE(dlg.size(), NaturalSize(templateId));
    QVERIFY(dlg.IsCaptionOkShown());
    QPushButton& button = Control<QPushButton>(dlg, IDC_CANCEL);
    QCOMPARE(button.geometry(), templatePlace);
    QVERIFY(button.geometry().bottom() < dlg.GetClientRect().bottom);
    QVERIFY(!Control<QPushButton>(dlg, IDC_OK).isVisible());
    // A tool that retitles itself shows the new title in its caption strip.
    dlg.setWindowTitle(QStringLiteral("Dec->Hex"));
    const auto labels = dlg.findChild<QWidget*>(QStringLiteral("captionStrip"))->findChildren<QLabel*>();
    QVERIFY(labels.size() == 1 && labels[0]->text() == QStringLiteral("Dec->Hex"));
    QTest::mouseClick(&button, Qt::LeftButton);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestDialogFramework::settingChangeNeitherMovesNorResizes_data() {
  QTest::addColumn<bool>("noFullScreen");
  QTest::newRow("centred") << true;
  QTest::newRow("full screen") << false;
}

void TestDialogFramework::settingChangeNeitherMovesNorResizes() {
  QFETCH(bool, noFullScreen);
  CCountingDlg dlg(CLookAndFeel{true, noFullScreen});
  WhenOpen([&](CDialog&) {
    const QRect before = dlg.geometry();
    const QRect cancelBefore = Control<QPushButton>(dlg, IDC_CANCEL).geometry();
    QInputMethod* inputMethod = QGuiApplication::inputMethod();
    emit inputMethod->keyboardRectangleChanged();
    emit inputMethod->visibleChanged();
    emit dlg.TargetScreen()->availableGeometryChanged(QRect(0, 0, 320, 200));
    QCoreApplication::processEvents();
    QCOMPARE(dlg.m_nSettingChanges, 3);
    QCOMPARE(dlg.geometry(), before);
    QCOMPARE(Control<QPushButton>(dlg, IDC_CANCEL).geometry(), cancelBefore);
    ClickCaptionOk(dlg);
  });
  QCOMPARE(dlg.DoModal(), int(IDOK));
}

void TestDialogFramework::logFileEditFollowsCheckBoxClicks_data() {
  QTest::addColumn<bool>("logging");
  QTest::addColumn<int>("clicks");
  QTest::addColumn<bool>("enabledAfter");
  QTest::newRow("off, no click") << false << 0 << true;
  QTest::newRow("off, on") << false << 1 << true;
  QTest::newRow("off, on, off") << false << 2 << false;
  QTest::newRow("on, no click") << true << 0 << true;
  QTest::newRow("on, off") << true << 1 << false;
}

void TestDialogFramework::logFileEditFollowsCheckBoxClicks() {
  QFETCH(bool, logging);
  QFETCH(int, clicks);
  QFETCH(bool, enabledAfter);
  CMonitorDlg dlg(CLookAndFeel{});
  dlg.m_section.m_bLogToFile = logging;
  WhenOpen([&](CDialog&) {
    QVERIFY(Control<QLineEdit>(dlg, IDC_MON_LOGFILE).isEnabled());
    for (int i = 0; i < clicks; ++i) ClickCheckBox(dlg, IDC_MON_LOGTOFILE);
    QCOMPARE(Control<QLineEdit>(dlg, IDC_MON_LOGFILE).isEnabled(), enabledAfter);
    QCOMPARE(dlg.m_pLogFileEdit, &Control<QLineEdit>(dlg, IDC_MON_LOGFILE));
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

void TestDialogFramework::monitorEndedWithoutOkChangesNothing_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("Escape") << QStringLiteral("escape");
  QTest::newRow("Cancel button") << QStringLiteral("cancel");
  QTest::newRow("Enter on the Cancel button") << QStringLiteral("enterOnCancel");
}

void TestDialogFramework::monitorEndedWithoutOkChangesNothing() {
  QFETCH(QString, how);
  const CMonitorSettings before{true, QStringLiteral("\\ZEFMON.LOG"), QStringLiteral("  "), false};
  CMonitorSettings settings = before;
  WhenOpen([&](CDialog& dlg) {
    ClickCheckBox(dlg, IDC_MON_LOGTOFILE);
    ClickCheckBox(dlg, IDC_MON_QUICKDRAW);
    TypeInto(dlg, IDC_MON_LOGFILE, QStringLiteral("/tmp/other.log"));
    TypeInto(dlg, IDC_MON_INDENT, QStringLiteral("--"));
    QPushButton& cancel = Control<QPushButton>(dlg, IDC_CANCEL);
    if (how == u"escape") {
      QTest::keyClick(&dlg, Qt::Key_Escape);
    } else if (how == u"cancel") {
      QTest::mouseClick(&cancel, Qt::LeftButton);
    } else {
      cancel.setFocus();
      QTest::keyClick(&cancel, Qt::Key_Return);
    }
  });
  QVERIFY(!RunSettingsDialog<CMonitorDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_bLogToFile, before.m_bLogToFile);
  QCOMPARE(settings.m_strLogFile, before.m_strLogFile);
  QCOMPARE(settings.m_strIndentChars, before.m_strIndentChars);
  QCOMPARE(settings.m_bQuickDraw, before.m_bQuickDraw);
}

void TestDialogFramework::monitorConfirmedWritesBack_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("caption ok") << QStringLiteral("captionOk");
  QTest::newRow("Enter in an edit") << QStringLiteral("enterInEdit");
  QTest::newRow("Enter on a check box") << QStringLiteral("enterOnCheckBox");
}

void TestDialogFramework::monitorConfirmedWritesBack() {
  QFETCH(QString, how);
  CMonitorSettings settings{false, QStringLiteral("\\ZEFMON.LOG"), QStringLiteral("  "), true};
  WhenOpen([&](CDialog& dlg) {
    ClickCheckBox(dlg, IDC_MON_LOGTOFILE);
    ClickCheckBox(dlg, IDC_MON_QUICKDRAW);
    TypeInto(dlg, IDC_MON_LOGFILE, QStringLiteral("/tmp/z.log"));
    TypeInto(dlg, IDC_MON_INDENT, QString());
    if (how == u"captionOk") {
      ClickCaptionOk(dlg);
    } else if (how == u"enterInEdit") {
      QTest::keyClick(&Control<QLineEdit>(dlg, IDC_MON_INDENT), Qt::Key_Return);
    } else {
      QCheckBox& box = Control<QCheckBox>(dlg, IDC_MON_QUICKDRAW);
      box.setFocus();
      QTest::keyClick(&box, Qt::Key_Enter, Qt::KeypadModifier);
    }
  });
  QVERIFY(RunSettingsDialog<CMonitorDlg>(nullptr, settings, CLookAndFeel{}));
  QCOMPARE(settings.m_bLogToFile, true);
  QCOMPARE(settings.m_strLogFile, QStringLiteral("/tmp/z.log"));
  QCOMPARE(settings.m_strIndentChars, QString());
  QCOMPARE(settings.m_bQuickDraw, false);
}

void TestDialogFramework::monitorNumbersAreCheckedOnOk_data() {
  QTest::addColumn<QString>("typed");  // limit, rotation size, keep count, separated by spaces
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<int>("keep");  // stored when accepted
  QTest::newRow("upper bounds") << QStringLiteral("1048576 1048576 999") << true << 999;
  QTest::newRow("rotation off keeps 0") << QStringLiteral("0 0 0") << true << 0;
  QTest::newRow("rotation on keeps at least one") << QStringLiteral("64 8 0") << true << 1;
  QTest::newRow("negative limit") << QStringLiteral("-1 0 0") << false << 0;
  QTest::newRow("rotation size too large") << QStringLiteral("0 1048577 1") << false << 0;
  QTest::newRow("keep too large") << QStringLiteral("0 8 1000") << false << 0;
}

void TestDialogFramework::monitorNumbersAreCheckedOnOk() {
  QFETCH(QString, typed);
  QFETCH(bool, accepted);
  QFETCH(int, keep);
  const QStringList numbers = typed.split(u' ');
  CMessageBoxRecorder boxes;
  CMonitorSettings settings;
  WhenOpen([&](CDialog& dlg) {
    QCOMPARE(Control<QLineEdit>(dlg, IDC_MON_LOGKEEP).text(), QStringLiteral("0"));
    TypeInto(dlg, IDC_MON_HISTORYLIMIT, numbers[0]);
    TypeInto(dlg, IDC_MON_LOGROTATE, numbers[1]);
    TypeInto(dlg, IDC_MON_LOGKEEP, numbers[2]);
    ClickCaptionOk(dlg);
    if (accepted) return;
    QVERIFY(dlg.isVisible());
    QCOMPARE(boxes.m_boxes.size(), std::size_t{1});
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  QCOMPARE(RunSettingsDialog<CMonitorDlg>(nullptr, settings, CLookAndFeel{}), accepted);
  const CMonitorSettings expected{
      .m_nHistoryLimitMB = numbers[0].toInt(), .m_nLogRotateMB = numbers[1].toInt(), .m_nLogKeep = keep};
  QVERIFY(settings == (accepted ? expected : CMonitorSettings{}));
}

void TestDialogFramework::firstControlHasFocusOnOpen() {
  CMonitorDlg dlg(CLookAndFeel{});
  WhenOpen([&](CDialog&) {
    QCOMPARE(dlg.focusWidget(), dlg.GetDlgItem(IDC_MON_LOGTOFILE));
    // The keyboard works from there: Space toggles, Enter confirms.
    QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
    QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
  });
  QCOMPARE(dlg.DoModal(), int(IDOK));
  QCOMPARE(dlg.m_section.m_bLogToFile, true);
}

void TestDialogFramework::dialogWithoutTemplateIsNeverShown() {
  CDialog dlg(DialogTemplateId(4711));
  QVERIFY(dlg.Template().controls.empty());
  // Ends a dialog that opens after all, so that the test fails rather than hangs.
  bool shown = false;
  QTimer guard;
  guard.setSingleShot(true);
  connect(&guard, &QTimer::timeout, [&] {
    shown = dlg.isVisible();
    if (shown) dlg.EndDialog(kLeftOpen);
  });
  guard.start(0);
  QCOMPARE(dlg.DoModal(), -1);
  QVERIFY(!shown);
}

}  // namespace zef::test

QTEST_MAIN(zef::test::TestDialogFramework)
#include "tst_dialogframework.moc"
