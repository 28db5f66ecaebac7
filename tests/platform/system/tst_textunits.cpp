// Texts that other programs chose, as the monitor shows them in its lines.
#include "platform/system/textunits.h"

#include <QTest>

using namespace zef;

class TestTextUnits : public QObject {
  Q_OBJECT
 private slots:
  void shownTextReplacesWhatWouldAct_data();
  void shownTextReplacesWhatWouldAct();
};

void TestTextUnits::shownTextReplacesWhatWouldAct_data() {
  QTest::addColumn<QString>("foreign");
  QTest::addColumn<QString>("shown");
  const QString r(QChar(0xFFFD));
  QTest::newRow("plain, tab and umlaut kept") << u"a\tb ä €"_qs << u"a\tb ä €"_qs;
  QTest::newRow("terminal escape") << u"\x1b]0;PWNED\x07\x1b[31m"_qs << r + u"]0;PWNED"_qs + r + r + u"[31m"_qs;
  QTest::newRow("newline and C1") << u"a\nb\u0085c\u009bd"_qs << u"a"_qs + r + u"b"_qs + r + u"c"_qs + r + u"d"_qs;
  QTest::newRow("bidi override and isolates")
      << u"x\u202Eexe.txt\u2066y\u2069"_qs << u"x"_qs + r + u"exe.txt"_qs + r + u"y"_qs + r;
  QTest::newRow("marks, BOM, Arabic letter mark") << u"\u200E\u200F\uFEFF\u061C"_qs << r + r + r + r;
  QTest::newRow("line separator") << u"a\u2028b"_qs << u"a"_qs + r + u"b"_qs;
  QTest::newRow("pair kept, lone half replaced")
      << QString::fromUtf16(u"\U0001F600-\xD800-") << QString::fromUtf16(u"\U0001F600-") + r + u"-"_qs;
  QTest::newRow("format character beyond the BMP") << QString::fromUtf16(u"a\U000E0041b") << u"a"_qs + r + u"b"_qs;
}

void TestTextUnits::shownTextReplacesWhatWouldAct() {
  QFETCH(QString, foreign);
  QFETCH(QString, shown);
  QCOMPARE(ShownText(foreign), shown);
}

QTEST_APPLESS_MAIN(TestTextUnits)
#include "tst_textunits.moc"
