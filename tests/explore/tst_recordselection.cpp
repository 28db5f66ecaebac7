// What Delete record reads out of its two selected lines: the database name
// from the upper one, the record position from the lower one.
#include "explore/databaselist.h"

#include <QTest>

#include <climits>

using namespace zef;

class TestRecordSelection : public QObject {
  Q_OBJECT
 private slots:
  void positionOfLine_data();
  void positionOfLine();
  void selection_data();
  void selection();
};

void TestRecordSelection::positionOfLine_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("expected");
  const auto row = [](const char* name, const char16_t* line, int expected) {
    QTest::newRow(name) << QString::fromUtf16(line) << expected;
  };
  row("indented record line", u"  007: [3,80] (uint16)5; ", 7);
  row("000 is 0", u"  000: [1,16] (uint32)5; ", 0);
  row("010 is 10, not octal", u"  010: [1,16] (uint32)5; ", 10);
  row("1234 in full", u"  1234: [0,0] ", 1234);
  row("no colon", u"\"MyData\" type=0 records=2, size=0 KB", 0);
  row("empty line", u"", 0);
  row("tabs and zeros before, blanks after", u"\t 0 0012 \t: x", 12);
  row("stops at the first non-digit", u"  12ab: x", 12);
  row("inner blank ends the number", u"  1 2: x", 1);
  row("a sign is no digit", u"  -5: x", 0);
  row("first colon counts", u"  3: (wchar *)\"a:9\"; ", 3);
  row("colon later in a line without position", u"  last error: 0x0002", 0);
  row("beyond int names no record", u"  99999999999: x", INT_MAX);
  row("leave line", u"} ZEFMON_ReadDatabaseRecords()", 0);
}

void TestRecordSelection::positionOfLine() {
  QFETCH(QString, line);
  QFETCH(int, expected);
  QCOMPARE(RecordPositionOfLine(line), expected);
}

void TestRecordSelection::selection_data() {
  QTest::addColumn<QString>("upper");
  QTest::addColumn<QString>("lower");
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("position");
  const QString database = QStringLiteral("  \"MyData\" type=0 records=12, size=4 KB");
  const QString record = QStringLiteral("  011: [1,16] (uint32)6; ");
  QTest::newRow("database above record") << database << record << QStringLiteral("MyData") << 11;
  // The record line has no quote, the database line no colon.
  QTest::newRow("wrong order") << record << database << QString() << 0;
  QTest::newRow("record with a string above")
      << QStringLiteral("  000: [1,26] (wchar *)\"abc\"; ") << record << QStringLiteral("000: [1,26] (wchar *)") << 11;
  QTest::newRow("name with a quote ends at it")
      << QStringLiteral("  \"My\"Data\" type=0 records=0, size=0 KB") << record << QStringLiteral("My") << 11;
  QTest::newRow("leading quotes and blanks dropped")
      << QStringLiteral(" \" \"Data\" type=0") << record << QStringLiteral("Data") << 11;
  QTest::newRow("two record lines") << record << QStringLiteral("  002: [0,0] ") << QString() << 2;
}

void TestRecordSelection::selection() {
  QFETCH(QString, upper);
  QFETCH(QString, lower);
  QFETCH(QString, name);
  QFETCH(int, position);
  const SRecordSelection parsed = ParseRecordSelection(upper, lower);
  QCOMPARE(parsed.strName, name);
  QCOMPARE(parsed.nPosition, position);
}

QTEST_APPLESS_MAIN(TestRecordSelection)
#include "tst_recordselection.moc"
