// The number conversions of the calculator and the error lookup at their
// edges; the dialogs' tests drive the ordinary cases.
#include "tools/numbers.h"

#include <QTest>

using namespace zef;

class TestNumbers : public QObject {
  Q_OBJECT
 private slots:
  void parse_data();
  void parse();
  void everyAcceptedValueRoundTrips_data();
  void everyAcceptedValueRoundTrips();
};

void TestNumbers::parse_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("radix");
  QTest::addColumn<qint64>("value");
  QTest::addColumn<int>("stop");  // -1: the whole text was taken
  QTest::addColumn<bool>("inRange");

  QTest::newRow("blanks only: no number") << QStringLiteral("  ") << 10 << qint64(0) << 0 << true;
  QTest::newRow("plus") << QStringLiteral("+7") << 10 << qint64(7) << -1 << true;
  QTest::newRow("sign alone: no number") << QStringLiteral("-") << 10 << qint64(0) << 0 << true;
  QTest::newRow("two signs: no number") << QStringLiteral("+-1") << 10 << qint64(0) << 0 << true;
  QTest::newRow("0XfF") << QStringLiteral("0XfF") << 16 << qint64(255) << -1 << true;
  QTest::newRow("-0x10") << QStringLiteral("-0x10") << 16 << qint64(-16) << -1 << true;
  QTest::newRow("0x without digit: the 0 is the number") << QStringLiteral("0x") << 16 << qint64(0) << 1 << true;
  QTest::newRow("0xg") << QStringLiteral("0xg") << 16 << qint64(0) << 1 << true;
  QTest::newRow("0x in dec") << QStringLiteral("0x1F") << 10 << qint64(0) << 1 << true;
  QTest::newRow("0b prefix is no prefix") << QStringLiteral("0b1") << 2 << qint64(0) << 1 << true;
  QTest::newRow("full-width digit is no digit") << QStringLiteral("1\uFF11") << 10 << qint64(1) << 1 << true;
  QTest::newRow("lowest") << QStringLiteral("-2147483648") << 10 << qint64(-2147483648LL) << -1 << true;
  QTest::newRow("below lowest") << QStringLiteral("-2147483649") << 10 << qint64(0) << -1 << false;
  QTest::newRow("highest") << QStringLiteral("4294967295") << 10 << qint64(4294967295LL) << -1 << true;
  QTest::newRow("above highest") << QStringLiteral("4294967296") << 10 << qint64(0) << -1 << false;
  QTest::newRow("0xffffffff") << QStringLiteral("0xffffffff") << 16 << qint64(4294967295LL) << -1 << true;
  QTest::newRow("0x100000000") << QStringLiteral("0x100000000") << 16 << qint64(0) << -1 << false;
  QTest::newRow("-ffffffff is below lowest") << QStringLiteral("-ffffffff") << 16 << qint64(0) << -1 << false;
  QTest::newRow("forty digits, then a letter") << QString(QString(40, u'9') + u'z') << 10 << qint64(0) << 40 << false;
}

void TestNumbers::parse() {
  QFETCH(QString, text);
  QFETCH(int, radix);
  QFETCH(qint64, value);
  QFETCH(int, stop);
  QFETCH(bool, inRange);
  const CParsedNumber parsed = ParseNumber(text, radix);
  QCOMPARE(parsed.m_nStop, stop < 0 ? text.size() : qsizetype(stop));
  QCOMPARE(parsed.m_bInRange, inRange);
  if (inRange) QCOMPARE(parsed.m_nValue, value);
}

void TestNumbers::everyAcceptedValueRoundTrips_data() {
  QTest::addColumn<qint64>("value");
  for (qint64 value : {kMinNumber, kMinNumber + 1, qint64(-65536), qint64(-1), qint64(0), qint64(1), qint64(2147483647),
                       qint64(2147483648LL), kMaxNumber - 1, kMaxNumber})
    QTest::addRow("%lld", static_cast<long long>(value)) << value;
}

void TestNumbers::everyAcceptedValueRoundTrips() {
  // What the calculator writes in one mode, the reverse mode reads back to
  // the same 32 bits.
  QFETCH(qint64, value);
  for (int radix : {2, 8, 16}) {
    const CParsedNumber back = ParseNumber(FormatNumber(value, radix), radix);
    QVERIFY(back.m_bInRange);
    QCOMPARE(Bits32(back.m_nValue), Bits32(value));
  }
  const CParsedNumber decimal = ParseNumber(FormatNumber(value, 10), 10);
  QCOMPARE(decimal.m_nValue, value);
}

QTEST_APPLESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
