// What Delete record reads out of its two selected lines' own texts: the
// database name from the upper one, the record position from the lower one.
#include "explore/selection.h"

#include <QTest>

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
  QTest::addColumn<int>("expected");  // -1: no record line
  const auto row = [](const char* name, const char16_t* line, int expected) {
    QTest::newRow(name) << QString::fromUtf16(line) << expected;
  };
  row("record line", u"007: [3,80] (uint16)5; ", 7);
  row("000 is 0", u"000: [1,16] (uint32)5; ", 0);
  row("010 is 10, not octal", u"010: [1,16] (uint32)5; ", 10);
  row("1234 in full", u"1234: [0,0] ", 1234);
  row("cut after the counts", u"000: [1,16] (...", 0);
  row("no colon", u"\"MyData\" type=0 records=2, size=0 KB", -1);
  row("empty line", u"", -1);
  row("blanks before", u"\t 0012: [0,0] ", -1);
  row("letters after the digits", u"12ab: [0,0] ", -1);
  row("inner blank", u"1 2: [0,0] ", -1);
  row("a sign is no digit", u"-5: [0,0] ", -1);
  row("no counts", u"3: (wchar *)\"a:9\"; ", -1);
  row("error line", u"last error: 0x0002", -1);
  row("beyond int names no record", u"99999999999: [0,0] ", -1);
  row("leave line", u"} ZEFMON_ReadDatabaseRecords()", -1);
}

void TestRecordSelection::positionOfLine() {
  QFETCH(QString, line);
  QFETCH(int, expected);
  QCOMPARE(RecordPositionOfLine(line).value_or(-1), expected);
}

void TestRecordSelection::selection_data() {
  QTest::addColumn<QString>("upper");
  QTest::addColumn<QString>("lower");
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("position");
  const QString database = QStringLiteral("\"MyData\" type=0 records=12, size=4 KB");
  const QString record = QStringLiteral("011: [1,16] (uint32)6; ");
  QTest::newRow("database above record") << database << record << QStringLiteral("MyData") << 11;
  QTest::newRow("wrong order") << record << database << QString() << -1;
  QTest::newRow("record with a string above")
      << QStringLiteral("000: [1,26] (wchar *)\"abc\"; ") << record << QString() << 11;
  QTest::newRow("name with a quote is read whole")
      << QStringLiteral("\"My\"Data\" type=0 records=0, size=0 KB") << record << QStringLiteral("My\"Data") << 11;
  QTest::newRow("two database lines") << database << database << QStringLiteral("MyData") << -1;
  QTest::newRow("two record lines") << record << QStringLiteral("002: [0,0] ") << QString() << 2;
}

void TestRecordSelection::selection() {
  QFETCH(QString, upper);
  QFETCH(QString, lower);
  QFETCH(QString, name);
  QFETCH(int, position);
  const SRecordSelection parsed = ParseRecordSelection(upper, lower);
  QCOMPARE(parsed.strName, name);
  QCOMPARE(parsed.nPosition, position);
  QCOMPARE(parsed.IsValid(), !name.isEmpty() && position >= 0);
}

QTEST_APPLESS_MAIN(TestRecordSelection)
#include "tst_recordselection.moc"
