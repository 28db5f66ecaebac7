// Message boxes as the user sees them: text shown exactly as given, the
// buttons of each style, and the string table's %1/%2 insertions.
#include "platform/dialog/msgbox.h"
#include "res/resource.h"
#include "res/stringtable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace zef::test {
namespace {

// Runs `action` on the real box once MessageBox has opened it.
void WhenBoxOpen(std::function<void(QMessageBox&)> action) {
  QTimer::singleShot(0, [action = std::move(action)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY2(box != nullptr, "no message box open");
    action(*box);
    if (box->isVisible()) box->done(QMessageBox::Cancel);
  });
}

QAbstractButton* ButtonOf(QMessageBox& box, QMessageBox::StandardButton which) { return box.button(which); }

}  // namespace

class TestMessageBox : public QObject {
  Q_OBJECT

 private slots:
  void init() { m_previousHook = SetMessageBoxHook({}); }
  void cleanup() { SetMessageBoxHook(std::move(m_previousHook)); }

  void textIsShownAsPlainText_data();
  void textIsShownAsPlainText();
  void buttonsOfEachStyle_data();
  void buttonsOfEachStyle();
  void formatString_data();
  void formatString();
  void tableMessageInsertsBothArguments();

 private:
  MessageBoxHook m_previousHook;
};

void TestMessageBox::textIsShownAsPlainText_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("tags that vanish as markup") << QStringLiteral("Box<U> created, size=<i>");
  QTest::newRow("bold and an entity") << QStringLiteral("Box<b>x</b> &lt;ok&gt;");
  QTest::newRow("a whole document") << QStringLiteral("<html><body><h1>big</h1></body></html>");
  QTest::newRow("ampersand and line break") << QStringLiteral("a && b\nsecond <line>");
}

void TestMessageBox::textIsShownAsPlainText() {
  QFETCH(QString, text);
  WhenBoxOpen([&](QMessageBox& box) {
    QCOMPARE(box.textFormat(), Qt::PlainText);
    QCOMPARE(box.text(), text);
    QCOMPARE(box.windowTitle(), QStringLiteral("ZEFMON"));
    // What is painted: the box's text label.
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label != nullptr);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), text);
    QTest::keyClick(&box, Qt::Key_Return);
  });
  QCOMPARE(MessageBox(nullptr, text, MB_OK), int(IDOK));
}

void TestMessageBox::buttonsOfEachStyle_data() {
  QTest::addColumn<quint32>("style");
  QTest::addColumn<int>("click");  // QMessageBox::StandardButton; 0: Escape
  QTest::addColumn<int>("result");
  QTest::addColumn<int>("icon");
  QTest::newRow("yes/no, Yes") << quint32(MB_YESNO | MB_ICONQUESTION) << int(QMessageBox::Yes) << int(IDYES)
                               << int(QMessageBox::Question);
  QTest::newRow("yes/no, No") << quint32(MB_YESNO | MB_ICONQUESTION) << int(QMessageBox::No) << int(IDNO)
                              << int(QMessageBox::Question);
  QTest::newRow("ok/cancel, Cancel") << quint32(MB_OKCANCEL | MB_ICONEXCLAMATION) << int(QMessageBox::Cancel)
                                     << int(IDCANCEL) << int(QMessageBox::Warning);
  QTest::newRow("ok, Escape") << quint32(MB_OK | MB_ICONHAND) << 0 << int(IDOK) << int(QMessageBox::Critical);
}

void TestMessageBox::buttonsOfEachStyle() {
  QFETCH(quint32, style);
  QFETCH(int, click);
  QFETCH(int, result);
  QFETCH(int, icon);
  WhenBoxOpen([&](QMessageBox& box) {
    QCOMPARE(int(box.icon()), icon);
    if (click == 0) {
      QTest::keyClick(&box, Qt::Key_Escape);
    } else {
      QAbstractButton* button = ButtonOf(box, QMessageBox::StandardButton(click));
      QVERIFY(button != nullptr);
      QTest::mouseClick(button, Qt::LeftButton);
    }
  });
  QCOMPARE(MessageBox(nullptr, QStringLiteral("?"), style), result);
}

void TestMessageBox::formatString_data() {
  QTest::addColumn<QString>("format");
  QTest::addColumn<QString>("arg1");
  QTest::addColumn<QString>("arg2");
  QTest::addColumn<QString>("expected");
  QTest::newRow("both, in order") << QStringLiteral("<%1> and <%2>") << QStringLiteral("a") << QStringLiteral("b")
                                  << QStringLiteral("<a> and <b>");
  QTest::newRow("reversed and repeated") << QStringLiteral("%2%1%2") << QStringLiteral("x") << QStringLiteral("y")
                                         << QStringLiteral("yxy");
  QTest::newRow("inserted text is not scanned again")
      << QStringLiteral("%1|%2") << QStringLiteral("%2") << QStringLiteral("%1") << QStringLiteral("%2|%1");
  QTest::newRow("other sequences stay") << QStringLiteral("100% %3 %s %%1 %") << QStringLiteral("A") << QString()
                                        << QStringLiteral("100% %3 %s %A %");
  QTest::newRow("missing second argument is empty")
      << QStringLiteral("[%2]") << QStringLiteral("a") << QString() << QStringLiteral("[]");
  QTest::newRow("digits after the number")
      << QStringLiteral("%12") << QStringLiteral("a") << QStringLiteral("b") << QStringLiteral("a2");
}

void TestMessageBox::formatString() {
  QFETCH(QString, format);
  QFETCH(QString, arg1);
  QFETCH(QString, arg2);
  QFETCH(QString, expected);
  QCOMPARE(FormatString(format, arg1, arg2), expected);
}

void TestMessageBox::tableMessageInsertsBothArguments() {
  const QString file = QStringLiteral("/home/u/<b>.conf");
  const QString reason = QStringLiteral("Permission denied %1");
  WhenBoxOpen([&](QMessageBox& box) {
    QCOMPARE(box.text(), QStringLiteral("The settings could not be saved to /home/u/<b>.conf: Permission denied %1."));
    QCOMPARE(box.textFormat(), Qt::PlainText);
    QCOMPARE(box.icon(), QMessageBox::Warning);
    QTest::keyClick(&box, Qt::Key_Return);
  });
  QCOMPARE(MessageBoxFromTable(nullptr, ToUInt(StringId::SettingsNotSaved), MB_OK | MB_ICONEXCLAMATION, file, reason),
           int(IDOK));
}

}  // namespace zef::test

QTEST_MAIN(zef::test::TestMessageBox)
#include "tst_messagebox.moc"
