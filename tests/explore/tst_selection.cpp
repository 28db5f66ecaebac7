// Reading a process id or window handle back out of a selected line.
#include "explore/selection.h"

#include <QTest>

using namespace zef;

class TestSelection : public QObject {
  Q_OBJECT
 private slots:
  void idOfLine_data();
  void idOfLine();
  void confirmationTextHasFourDigitsAtLeast();
};

void TestSelection::idOfLine_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<bool>("window");
  QTest::addColumn<quint32>("expected");
  const auto row = [](const char* name, const char16_t* line, bool window, quint32 expected) {
    QTest::newRow(name) << QString::fromUtf16(line) << window << expected;
  };
  row("indented process line", u"  pid=0x4a, threads=2, x.exe", false, 0x4a);
  row("key in the first column", u"pid=0x4a, threads=2, x.exe", false, 0);
  row("comma right after the key", u"  pid=, threads=2, x.exe", false, 0);
  row("no comma after the key", u"  a, pid=0x4a threads=2", false, 0);
  row("comma before the key only", u"  a, pid=7 b", false, 0);
  row("zero", u"  pid=0x0, threads=1, idle", false, 0);
  row("upper-case prefix", u"  pid=0X1F, threads=1, x", false, 0x1f);
  row("no prefix", u"  pid=4a, x", false, 0x4a);
  row("leading blanks", u"  pid= \t 0x2b, x", false, 0x2b);
  row("stops at a non-hex character", u"  pid=12zz, x", false, 0x12);
  row("prefix without digits reads the 0", u"  pid=0xg1, x", false, 0);
  row("no digits", u"  pid=zz, x", false, 0);
  row("no sign", u"  pid=-5, x", false, 0);
  row("beyond 32 bits saturates", u"  pid=123456789, x", false, 0xffffffff);
  row("first key counts", u"x pid=1, y pid=2, z", false, 1);
  row("key glued to text before it", u"Xpid=5,", false, 5);
  row("no line selected", u"", false, 0);
  row("window line", u"  hwnd=0x00a4, class=Dialog, name='X'", true, 0xa4);
  row("window key in the first column", u"hwnd=0x00a4, class=Dialog, name='X'", true, 0);
  row("window comma right after the key", u"  hwnd=, class=Dialog", true, 0);
  row("window without comma", u"  hwnd=0xa4 class=Dialog", true, 0);
  row("window line is no process line", u"  hwnd=0x00a4, class=Dialog, name='X'", false, 0);
  row("process line is no window line", u"  pid=0x4a, threads=2, x.exe", true, 0);
}

void TestSelection::idOfLine() {
  QFETCH(QString, line);
  QFETCH(bool, window);
  QFETCH(quint32, expected);
  QCOMPARE(window ? WindowHandleOfLine(line) : ProcessIdOfLine(line), expected);
}

void TestSelection::confirmationTextHasFourDigitsAtLeast() {
  QCOMPARE(FormatHex4(0x4a), QStringLiteral("0x004a"));
  QCOMPARE(FormatHex4(0), QStringLiteral("0x0000"));
  QCOMPARE(FormatHex4(0x1234abcd), QStringLiteral("0x1234abcd"));
}

QTEST_APPLESS_MAIN(TestSelection)
#include "tst_selection.moc"
