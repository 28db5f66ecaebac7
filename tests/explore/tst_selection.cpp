// Reading a process, window or database back out of a selected line's own
// text (the line without the indent its depth puts before it).
#include "explore/selection.h"

#include <QTest>

using namespace zef;

class TestSelection : public QObject {
  Q_OBJECT
 private slots:
  void idOfLine_data();
  void idOfLine();
  void processLineGivesItsName_data();
  void processLineGivesItsName();
  void databaseNameIsReadWhole_data();
  void databaseNameIsReadWhole();
  void confirmationTextHasFourDigitsAtLeast();
};

void TestSelection::idOfLine_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<bool>("window");
  QTest::addColumn<quint32>("expected");
  const auto row = [](const char* name, const char16_t* line, bool window, quint32 expected) {
    QTest::newRow(name) << QString::fromUtf16(line) << window << expected;
  };
  row("process line", u"pid=0x4a, threads=2, x.exe", false, 0x4a);
  row("text before the key", u"  pid=0x4a, threads=2, x.exe", false, 0);
  row("key later in a client's line", u"x pid=0x4a, threads=2, y", false, 0);
  row("zero", u"pid=0x0, threads=1, idle", false, 0);
  row("no prefix", u"pid=4a, threads=1, x", false, 0);
  row("upper-case prefix", u"pid=0X1F, threads=1, x", false, 0);
  row("upper-case digits", u"pid=0x1F, threads=1, x", false, 0x1f);
  row("nine digits", u"pid=0x123456789, threads=1, x", false, 0);
  row("no thread count", u"pid=0x4a, x", false, 0);
  row("sign on the thread count", u"pid=0x4a, threads=-1, x", false, 0);
  row("no name", u"pid=0x4a, threads=2, ", false, 0);
  row("no line selected", u"", false, 0);
  row("window line", u"hwnd=0x00a4, class=Dialog, name='X'", true, 0xa4);
  row("window key after other text", u"  hwnd=0x00a4, class=Dialog, name='X'", true, 0);
  row("window comma right after the key", u"hwnd=, class=Dialog", true, 0);
  row("window without comma", u"hwnd=0xa4 class=Dialog", true, 0);
  row("window beyond 32 bits saturates", u"hwnd=123456789, class=x", true, 0xffffffff);
  row("window line is no process line", u"hwnd=0x00a4, class=Dialog, name='X'", false, 0);
  row("process line is no window line", u"pid=0x4a, threads=2, x.exe", true, 0);
}

void TestSelection::idOfLine() {
  QFETCH(QString, line);
  QFETCH(bool, window);
  QFETCH(quint32, expected);
  QCOMPARE(window ? WindowHandleOfLine(line) : ProcessIdOfLine(line), expected);
}

void TestSelection::processLineGivesItsName_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("name");
  QTest::newRow("plain") << QStringLiteral("pid=0x30, threads=1, sleep") << QStringLiteral("sleep");
  QTest::newRow("commas and blanks kept") << QStringLiteral("pid=0x30, threads=1, a, b ") << QStringLiteral("a, b ");
  QTest::newRow("kernel thread") << QStringLiteral("pid=0x2, threads=1, [kthreadd]") << QStringLiteral("[kthreadd]");
}

void TestSelection::processLineGivesItsName() {
  QFETCH(QString, line);
  QFETCH(QString, name);
  const std::optional<SProcessLine> parsed = ParseProcessLine(line);
  QVERIFY(parsed);
  QCOMPARE(parsed->strName, name);
}

void TestSelection::databaseNameIsReadWhole_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<QString>("name");
  const QString tail = QStringLiteral(" type=0 records=3, size=1 KB");
  QTest::newRow("plain") << QStringLiteral("\"Contacts\"") + tail << QStringLiteral("Contacts");
  QTest::newRow("quote inside") << QStringLiteral("\"a\"b\"") + tail << QStringLiteral("a\"b");
  QTest::newRow("blanks and quotes around") << QStringLiteral("\"\" x\"\"") + tail << QStringLiteral("\" x\"");
  QTest::newRow("two quotes") << QStringLiteral("\"\"\"\"") + tail << QStringLiteral("\"\"");
  QTest::newRow("a whole line inside") << QStringLiteral("\"x\"") + tail + QStringLiteral("\"") + tail
                                       << QStringLiteral("x\"") + tail;
  QTest::newRow("negative type") << QStringLiteral("\"A\" type=-2147483648 records=0, size=0 KB")
                                 << QStringLiteral("A");
  QTest::newRow("empty name") << QStringLiteral("\"\"") + tail << QString();
  QTest::newRow("blank before the quote") << QStringLiteral(" \"Contacts\"") + tail << QString();
  QTest::newRow("tail cut") << QStringLiteral("\"Contacts\" type=0 records=3") << QString();
  QTest::newRow("text after the tail") << QStringLiteral("\"Contacts\"") + tail + QStringLiteral("!") << QString();
  QTest::newRow("no closing quote") << QStringLiteral("\"Contacts type=0 records=3, size=1 KB") << QString();
  QTest::newRow("record line with a string") << QStringLiteral("000: [1,22] (wchar *)\"MyData\"; ") << QString();
  QTest::newRow("letters in a count") << QStringLiteral("\"A\" type=0 records=x, size=0 KB") << QString();
}

void TestSelection::databaseNameIsReadWhole() {
  QFETCH(QString, line);
  QFETCH(QString, name);
  QCOMPARE(DatabaseNameOfLine(line), name);
}

void TestSelection::confirmationTextHasFourDigitsAtLeast() {
  QCOMPARE(FormatHex4(0x4a), QStringLiteral("0x004a"));
  QCOMPARE(FormatHex4(0), QStringLiteral("0x0000"));
  QCOMPARE(FormatHex4(0x1234abcd), QStringLiteral("0x1234abcd"));
}

QTEST_APPLESS_MAIN(TestSelection)
#include "tst_selection.moc"
