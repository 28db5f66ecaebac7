// The searcher over stored lines: a needle in own text (Latin-1 bytes or
// UTF-16), in the indent alone, or across the indent's end, judged against
// QString::contains on the line as shown.
#include <QtTest>

#include <QRandomGenerator>

#include "platform/listbox/linesearch.h"

using zef::CIndentMatch;
using zef::CLineSearch;
using zef::CStoredText;

namespace {

// A line's own text stored both ways: as Latin-1 bytes (when it fits) and
// as UTF-16 units.
struct CStored {
  explicit CStored(const QString& text) : m_strWide(text), m_latin1(text.toLatin1()) {
    m_bFitsLatin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
  }
  CStoredText Wide() const {
    return {reinterpret_cast<const char*>(m_strWide.utf16()), std::size_t(m_strWide.size()), true};
  }
  CStoredText Latin1() const { return {m_latin1.constData(), std::size_t(m_latin1.size()), false}; }
  bool FitsLatin1() const { return m_bFitsLatin1; }

 private:
  QString m_strWide;
  QByteArray m_latin1;
  bool m_bFitsLatin1 = false;
};

// Compares with the model for depths 0..maxDepth, both cases, both ways of
// storing, asking as the line store does (own text first, then the
// indent); returns a description of the first disagreement.
QString Disagreement(const QString& indent, const QString& text, const QString& needle, int maxDepth) {
  const CStored stored(text);
  std::vector<CStoredText> forms{stored.Wide()};
  if (stored.FitsLatin1()) forms.push_back(stored.Latin1());
  for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
    const CLineSearch search(needle, cs);
    const CIndentMatch match(indent, search);
    for (int depth = 0; depth <= maxDepth; ++depth) {
      const bool expected = (indent.repeated(depth) + text).contains(needle, cs);
      for (const CStoredText& form : forms) {
        const bool found = search.In(form) || (match.Possible() && match.Matches(std::uint32_t(depth), form));
        if (found != expected)
          return QStringLiteral("indent '%1' depth %2 text '%3' needle '%4' %5 %6: expected %7")
              .arg(indent)
              .arg(depth)
              .arg(text, needle, cs == Qt::CaseSensitive ? QStringLiteral("case") : QStringLiteral("nocase"),
                   form.bWide ? QStringLiteral("utf-16") : QStringLiteral("latin-1"))
              .arg(expected);
      }
    }
  }
  return QString();
}

}  // namespace

class TestLineSearch : public QObject {
  Q_OBJECT
 private slots:
  void IndentAndTextAgreeWithTheShownLine_data();
  void IndentAndTextAgreeWithTheShownLine();
  void RandomLinesAgreeWithTheShownLine();
  void NothingToDoWhenTheNeedleCannotMeetTheIndent_data();
  void NothingToDoWhenTheNeedleCannotMeetTheIndent();
  void Latin1RunsFindEveryOccurrence();
  void ViewsOfEitherWidthAgreeWithQString();
  void LongRunsFindWhatQStringFinds();
};

void TestLineSearch::IndentAndTextAgreeWithTheShownLine_data() {
  QTest::addColumn<QString>("indent");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("needle");
  QTest::newRow("text only") << QStringLiteral("  ") << QStringLiteral("Foo() {") << QStringLiteral("Foo");
  QTest::newRow("wholly in a deep indent") << QStringLiteral("  ") << QStringLiteral("x") << QStringLiteral("     ");
  QTest::newRow("across the indent's end") << QStringLiteral("..") << QStringLiteral("x y") << QStringLiteral("..x");
  QTest::newRow("across, odd split") << QStringLiteral("ab") << QStringLiteral("x") << QStringLiteral("babx");
  QTest::newRow("across, text too short") << QStringLiteral("ab") << QStringLiteral("x") << QStringLiteral("bxy");
  QTest::newRow("heads that do not follow each other")
      << QStringLiteral("ab") << QStringLiteral("ab!") << QStringLiteral("bab!");
  QTest::newRow("brace indent") << QStringLiteral("{") << QStringLiteral("Foo()") << QStringLiteral("{{F");
  QTest::newRow("indent inside the text too")
      << QStringLiteral("  ") << QStringLiteral("  x") << QStringLiteral("    x");
  QTest::newRow("other case across") << QStringLiteral("Ab") << QStringLiteral("Xy") << QStringLiteral("bAbx");
  QTest::newRow("micro sign and capital mu")
      << QString(QChar(0x00B5)) << QStringLiteral("X") << QString(QChar(0x039C)) + QStringLiteral("x");
  QTest::newRow("wide text after the indent")
      << QStringLiteral(" ") << QString::fromUtf16(u"\u20ACx") << QString::fromUtf16(u" \u20AC");
  QTest::newRow("wide indent") << QString::fromUtf16(u"\u2502 ") << QStringLiteral("x")
                               << QString::fromUtf16(u" \u2502 x");
  QTest::newRow("needle longer than the line")
      << QStringLiteral("--") << QStringLiteral("ab") << QStringLiteral("----------ab");
  QTest::newRow("empty text") << QStringLiteral("ab") << QString() << QStringLiteral("ba");
}

void TestLineSearch::IndentAndTextAgreeWithTheShownLine() {
  QFETCH(QString, indent);
  QFETCH(QString, text);
  QFETCH(QString, needle);
  const QString disagreement = Disagreement(indent, text, needle, 7);
  QVERIFY2(disagreement.isEmpty(), qPrintable(disagreement));
}

void TestLineSearch::RandomLinesAgreeWithTheShownLine() {
  // A small alphabet, so that needles, indents and texts share characters
  // often: indent characters, braces, letters of both cases, the micro sign
  // (which folds outside Latin-1) and a character outside Latin-1.
  const QString alphabet = QString::fromUtf16(u" .{aAbB\u00B5\u039C\u20AC");
  QRandomGenerator random(20240611);
  const auto make = [&](int minLength, int maxLength) {
    QString s;
    const int length = int(random.bounded(minLength, maxLength + 1));
    for (int i = 0; i < length; ++i) s += alphabet[qsizetype(random.bounded(int(alphabet.size())))];
    return s;
  };
  for (int round = 0; round < 4000; ++round) {
    const QString indent = make(1, 3);
    const QString text = make(0, 6);
    const QString needle = make(1, 6);
    const QString disagreement = Disagreement(indent, text, needle, 5);
    if (!disagreement.isEmpty()) QFAIL(qPrintable(disagreement));
  }
}

void TestLineSearch::NothingToDoWhenTheNeedleCannotMeetTheIndent_data() {
  QTest::addColumn<QString>("indent");
  QTest::addColumn<QString>("needle");
  QTest::addColumn<bool>("possible");
  QTest::newRow("word and spaces") << QStringLiteral("  ") << QStringLiteral("error") << false;
  QTest::newRow("leave key and spaces") << QStringLiteral("  ") << QStringLiteral("} Foo()") << false;
  QTest::newRow("enter key and a brace indent") << QStringLiteral("{") << QStringLiteral("Foo() {") << false;
  QTest::newRow("needle starting with a space") << QStringLiteral("  ") << QStringLiteral(" x") << true;
  QTest::newRow("needle of the indent") << QStringLiteral("->") << QStringLiteral(">-") << true;
  QTest::newRow("empty indent") << QString() << QStringLiteral(" ") << false;
}

void TestLineSearch::NothingToDoWhenTheNeedleCannotMeetTheIndent() {
  QFETCH(QString, indent);
  QFETCH(QString, needle);
  QFETCH(bool, possible);
  const CLineSearch search(needle, Qt::CaseSensitive);
  QCOMPARE(CIndentMatch(indent, search).Possible(), possible);
}

void TestLineSearch::Latin1RunsFindEveryOccurrence() {
  // Each hit from where the last one ended, as the line store walks a run
  // of lines; the positions must be those of QByteArray::indexOf.
  const QByteArray run = "abcabxABCabcxxabc";
  for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
    const CLineSearch search(u"abc", cs);
    QCOMPARE(search.Latin1Length(), std::size_t(3));
    QList<std::size_t> hits;
    for (std::size_t pos = 0;;) {
      pos = search.NextInLatin1(run.constData(), pos, std::size_t(run.size()));
      if (pos >= std::size_t(run.size())) break;
      hits << pos++;
    }
    const QList<std::size_t> expected =
        cs == Qt::CaseSensitive ? QList<std::size_t>{0, 9, 14} : QList<std::size_t>{0, 6, 9, 14};
    QCOMPARE(hits, expected);
  }
  // No Latin-1 text holds a needle with a character outside it.
  const CLineSearch wide(u"a\u20AC", Qt::CaseInsensitive);
  QCOMPARE(wide.Latin1Length(), std::size_t(0));
  QCOMPARE(wide.NextInLatin1(run.constData(), 0, std::size_t(run.size())), std::size_t(run.size()));
}

// A filter judges a line through a view of its stored text: Latin-1 bytes
// or UTF-16 units.
void TestLineSearch::ViewsOfEitherWidthAgreeWithQString() {
  const QString alphabet = QString::fromUtf16(u"aAbB\u00B5\u00E9\u00C9\u039C");
  QRandomGenerator random(20261209);
  for (int round = 0; round < 4000; ++round) {
    QString text, needle;
    for (int i = int(random.bounded(7)); i > 0; --i) text += alphabet[qsizetype(random.bounded(int(alphabet.size())))];
    for (int i = int(random.bounded(1, 4)); i > 0; --i) needle += alphabet[qsizetype(random.bounded(5))];
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
      const CLineSearch search(needle, cs);
      const bool expected = text.contains(needle, cs);
      QVERIFY2(search.In(QAnyStringView(text)) == expected, qPrintable(text + u'/' + needle));
      const QByteArray latin1 = text.toLatin1();
      if (QString::fromLatin1(latin1) == text)
        QVERIFY2(search.In(QAnyStringView(QLatin1StringView(latin1))) == expected, qPrintable(text + u'/' + needle));
    }
  }
}

// Runs long enough that the search tests many window positions at once,
// with hits at every offset, the last windows included.
void TestLineSearch::LongRunsFindWhatQStringFinds() {
  const QString alphabet = QString::fromUtf16(u"aAbB\u00E9\u00C9.");
  QRandomGenerator random(20261210);
  for (int round = 0; round < 1000; ++round) {
    QString text, needle;
    for (int i = int(random.bounded(14, 90)); i > 0; --i) text += alphabet[qsizetype(random.bounded(7))];
    for (int i = int(random.bounded(2, 6)); i > 0; --i) needle += alphabet[qsizetype(random.bounded(6))];
    const QByteArray latin1 = text.toLatin1();
    const auto end = std::size_t(latin1.size());
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
      const CLineSearch search(needle, cs);
      for (std::size_t pos = 0; pos <= end; ++pos) {
        const qsizetype expected = text.indexOf(needle, qsizetype(pos), cs);
        const std::size_t found = search.NextInLatin1(latin1.constData(), pos, end);
        QVERIFY2(found == (expected < 0 ? end : std::size_t(expected)),
                 qPrintable(QStringLiteral("%1 / %2 from %3").arg(text, needle).arg(pos)));
      }
    }
  }
}

QTEST_APPLESS_MAIN(TestLineSearch)
#include "tst_linesearch.moc"
