// A full-screen settings dialog on a desktop whose only panel is at the top
// (run by toppanel.sh on an X server with that work area): the Cancel button
// is inside the dialog and shown.
#include "monitor/monitordlg.h"
#include "tests/support/dialogdriver.h"

#include <QGuiApplication>
#include <QScreen>

namespace zef::test {

class TestTopPanel : public QObject {
  Q_OBJECT

 private slots:
  void fullScreenCancelButtonIsInsideTheDialog();
};

void TestTopPanel::fullScreenCancelButtonIsInsideTheDialog() {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QVERIFY2(available.top() > 0 && available.bottom() == screen.bottom(), "the X server has no top panel");

  CMonitorDlg dlg(CLookAndFeel{true, false});
  WhenOpen([&](CDialog&) {
    QCOMPARE(dlg.geometry(), available);
    QPushButton& cancel = Control<QPushButton>(dlg, IDC_CANCEL);
    QVERIFY(cancel.isVisible());
    QCOMPARE(cancel.geometry().bottom() + 1, dlg.GetClientRect().bottom - 5);
    // Not clipped away by the dialog: some of it is on the screen.
    QCOMPARE(cancel.visibleRegion().boundingRect(), cancel.rect());
    QTest::mouseClick(&cancel, Qt::LeftButton);
  });
  QCOMPARE(dlg.DoModal(), int(IDCANCEL));
}

}  // namespace zef::test

QTEST_MAIN(zef::test::TestTopPanel)
#include "tst_toppanel.moc"
