// The shared UTF codec in both of its behaviours: what fails a strict
// conversion (the store) is what a replacing one (the trace library) turns
// into U+FFFD, and how much of the input each U+FFFD stands for.
#include "utf/utf.h"

#include <QTest>

#include <string>

using zef::utf::EInvalid;

namespace {

QString FromUtf16(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

class TestUtf : public QObject {
  Q_OBJECT

 private slots:
  void utf8ToUtf16_data() {
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("replaced");
    QTest::newRow("ASCII") << QByteArray("abc") << true << QStringLiteral("abc");
    QTest::newRow("two, three, four bytes, then ASCII")
        << QByteArray("\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80x") << true << QString::fromUtf16(u"ä€\U0001F600x");
    QTest::newRow("largest code point") << QByteArray("\xf4\x8f\xbf\xbf") << true << QString::fromUtf16(u"\U0010FFFF");
    QTest::newRow("stray continuation") << QByteArray("a\x80z") << false << QString::fromUtf16(u"a\uFFFDz");
    QTest::newRow("byte that starts nothing") << QByteArray("\xf8z") << false << QString::fromUtf16(u"\uFFFDz");
    QTest::newRow("cut short at the end") << QByteArray("a\xe2\x82") << false << QString::fromUtf16(u"a\uFFFD");
    QTest::newRow("cut short by ASCII") << QByteArray("\xe2\x82z") << false << QString::fromUtf16(u"\uFFFDz");
    QTest::newRow("overlong two bytes") << QByteArray("\xc0\xaf") << false << QString::fromUtf16(u"\uFFFD\uFFFD");
    QTest::newRow("overlong three bytes")
        << QByteArray("\xe0\x80\xaf") << false << QString::fromUtf16(u"\uFFFD\uFFFD\uFFFD");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80z") << false << QString::fromUtf16(u"\uFFFDz");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80z") << false << QString::fromUtf16(u"\uFFFDz");
  }
  void utf8ToUtf16() {
    QFETCH(QByteArray, utf8);
    QFETCH(bool, valid);
    QFETCH(QString, replaced);
    const std::string_view text(utf8.constData(), std::size_t(utf8.size()));
    std::u16string strict;
    QCOMPARE(zef::utf::AppendUtf8AsUtf16(text, &strict, EInvalid::kFail), valid);
    if (valid) QCOMPARE(FromUtf16(strict), replaced);
    std::u16string lossy;
    QVERIFY(zef::utf::AppendUtf8AsUtf16(text, &lossy, EInvalid::kReplace));
    QCOMPARE(FromUtf16(lossy), replaced);
  }

  void utf16ToUtf8_data() {
    QTest::addColumn<QString>("utf16");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("replaced");
    QTest::newRow("BMP and a pair") << QString::fromUtf16(u"ä€\U0001F600") << true
                                    << QByteArray("\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80");
    QTest::newRow("lone high") << QString::fromUtf16(u"a\xD800z") << false << QByteArray("a\xef\xbf\xbdz");
    QTest::newRow("high at the end") << QString::fromUtf16(u"a\xD800") << false << QByteArray("a\xef\xbf\xbd");
    QTest::newRow("low before high") << QString::fromUtf16(u"\xDC00\xD800") << false
                                     << QByteArray("\xef\xbf\xbd\xef\xbf\xbd");
  }
  void utf16ToUtf8() {
    QFETCH(QString, utf16);
    QFETCH(bool, valid);
    QFETCH(QByteArray, replaced);
    const std::u16string text = utf16.toStdU16String();
    std::string strict;
    QCOMPARE(zef::utf::AppendUtf16AsUtf8(text, &strict, EInvalid::kFail), valid);
    if (valid) QCOMPARE(QByteArray::fromStdString(strict), replaced);
    std::string lossy;
    QVERIFY(zef::utf::AppendUtf16AsUtf8(text, &lossy, EInvalid::kReplace));
    QCOMPARE(QByteArray::fromStdString(lossy), replaced);
  }

  void codePointsThatAreNoCharactersBecomeReplacements() {
    std::string utf8;
    std::u16string utf16;
    for (char32_t c : {char32_t(0xD800), char32_t(0xDFFF), char32_t(0x110000), char32_t(0x10FFFF)}) {
      zef::utf::AppendUtf8(c, &utf8);
      zef::utf::AppendUtf16(c, &utf16);
    }
    QCOMPARE(QString::fromStdString(utf8), QString::fromUtf16(u"\uFFFD\uFFFD\uFFFD\U0010FFFF"));
    QCOMPARE(FromUtf16(utf16), QString::fromUtf16(u"\uFFFD\uFFFD\uFFFD\U0010FFFF"));
  }

  void conversionsAppendToWhatIsThere() {
    std::u16string utf16 = u"x";
    QVERIFY(zef::utf::AppendUtf8AsUtf16("ab\xc3\xa4", &utf16, EInvalid::kFail));
    QCOMPARE(FromUtf16(utf16), QString::fromUtf16(u"xabä"));
    std::string utf8 = "x";
    QVERIFY(zef::utf::AppendUtf16AsUtf8(u"ab", &utf8, EInvalid::kFail));
    QCOMPARE(utf8, std::string("xab"));
  }
};

QTEST_APPLESS_MAIN(TestUtf)
#include "tst_utf.moc"
