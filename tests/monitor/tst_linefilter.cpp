// The filter bar's words: substrings with smart case, regular expressions,
// exclusions and senders, errors, narrowing, and patterns that would make a
// backtracking matcher run for ages.
#include "monitor/linefilter.h"
#include "monitor/linematcher.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using zef::CBarQuery;
using zef::CTextMatcher;

namespace {
QString S(const char16_t* text) { return QString::fromUtf16(text); }
}  // namespace

class TestLineFilter : public QObject {
  Q_OBJECT
 private slots:
  void matcher_data();
  void matcher();
  void substringAgreesAtEveryPlace_data();
  void substringAgreesAtEveryPlace();
  void badRegexIsAnError();
  void threadsMatchAlike();
  void pathologicalRegexReturns_data();
  void pathologicalRegexReturns();
  void query_data();
  void query();
  void queryWithBadWordMatchesNothing();
  void narrows_data();
  void narrows();
};

void TestLineFilter::matcher_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<bool>("regex");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("matches");
  QTest::newRow("lower word ignores case") << S(u"error") << false << S(u"An ERROR here") << true;
  QTest::newRow("capital makes it exact") << S(u"Error") << false << S(u"An ERROR here") << false;
  QTest::newRow("capital found exactly") << S(u"Error") << false << S(u"An Error here") << true;
  QTest::newRow("absent") << S(u"warn") << false << S(u"An error here") << false;
  QTest::newRow("empty matches all") << S(u"") << false << S(u"anything") << true;
  QTest::newRow("Latin-1 letter folds") << S(u"é") << false << S(u"CAFÉ") << true;
  QTest::newRow("wide text") << S(u"ж") << false << S(u"Ж: done") << true;
  QTest::newRow("regex") << S(u"time[0-9]+ms") << true << S(u"took time12ms") << true;
  QTest::newRow("regex ignores case") << S(u"took") << true << S(u"TOOK") << true;
  QTest::newRow("regex capital is exact") << S(u"Took") << true << S(u"TOOK") << false;
  QTest::newRow("regex class letter is no capital") << S(u"a\\Sc") << true << S(u"AbC") << true;
  QTest::newRow("regex over wide text") << S(u"^ж.+$") << true << S(u"Жx") << true;
  QTest::newRow("regex dot is one Latin-1 char") << S(u"^caf.$") << true << S(u"café") << true;
  QTest::newRow("regex non-Latin-1 pattern, Latin-1 text") << S(u"[жé]") << true << S(u"é") << true;
  // Regular expressions with literals a line must hold, looked for first.
  QTest::newRow("regex literal in other case") << S(u"timeout [0-9]+") << true << S(u"TIMEOUT 42") << true;
  QTest::newRow("regex capital literal is exact") << S(u"Timeout [0-9]+") << true << S(u"timeout 42") << false;
  QTest::newRow("regex literal absent") << S(u"time[0-9]+ms") << true << S(u"took 12ms") << false;
  QTest::newRow("regex either literal") << S(u"(load|sav)ing") << true << S(u"SAVING") << true;
  QTest::newRow("regex neither literal") << S(u"(load|sav)ing") << true << S(u"parsing") << false;
  QTest::newRow("regex both literals needed") << S(u"begin.*finish") << true << S(u"begin only") << false;
  QTest::newRow("regex literal beyond ASCII") << S(u"café[0-9]") << true << S(u"CAFÉ1") << true;
  QTest::newRow("regex literal, Kelvin sign") << S(u"kelvin") << true << S(u"\u212Aelvin") << true;
}

void TestLineFilter::matcher() {
  QFETCH(QString, pattern);
  QFETCH(bool, regex);
  QFETCH(QString, text);
  QFETCH(bool, matches);
  const CTextMatcher matcher(pattern, regex);
  QVERIFY2(matcher.IsValid(), qPrintable(matcher.Error() + pattern));
  // The list hands over Latin-1 or UTF-16 text; other callers UTF-8.
  QCOMPARE(matcher.Matches(QStringView(text)), matches);
  const QByteArray utf8 = text.toUtf8();
  QCOMPARE(matcher.Matches(QUtf8StringView(utf8)), matches);
  if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; })) {
    const QByteArray latin1 = text.toLatin1();
    QCOMPARE(matcher.Matches(QLatin1StringView(latin1)), matches);
  }
}

void TestLineFilter::substringAgreesAtEveryPlace_data() {
  QTest::addColumn<QString>("needle");
  QTest::addColumn<QString>("found");  // how a line holds it
  QTest::addColumn<QString>("filler");
  QTest::newRow("two letters") << S(u"ab") << S(u"AB") << S(u"a");
  QTest::newRow("word, other case") << S(u"timeout") << S(u"TimeOut") << S(u"timeou");
  QTest::newRow("capital word") << S(u"Timeout") << S(u"Timeout") << S(u"timeout");
  QTest::newRow("Latin-1 letters") << S(u"éa") << S(u"ÉA") << S(u"é");
  QTest::newRow("micro sign") << S(u"µx") << S(u"µX") << S(u"µ");
  QTest::newRow("punctuation") << S(u"[1]") << S(u"[1]") << S(u"{1}");
}

void TestLineFilter::substringAgreesAtEveryPlace() {
  QFETCH(QString, needle);
  QFETCH(QString, found);
  QFETCH(QString, filler);
  const CTextMatcher matcher(needle, false);
  // Lines long enough to be scanned in blocks, the needle at each place
  // (block edges and the tail included) or absent among its look-alikes.
  for (int length = 0; length < 80; length += 7) {
    QString line;
    while (line.size() < length) line += filler;
    line.truncate(length);
    for (int at = 0; at <= length; ++at) {
      const QString text = line.left(at) + found + line.mid(at);
      const QByteArray latin1 = text.toLatin1();
      QVERIFY2(matcher.Matches(QLatin1StringView(latin1)), qPrintable(text));
      QVERIFY(matcher.Matches(QStringView(text)));
    }
    const QByteArray latin1 = line.toLatin1();
    QCOMPARE(matcher.Matches(QLatin1StringView(latin1)), line.contains(needle, matcher.Sensitivity()));
  }
}

void TestLineFilter::badRegexIsAnError() {
  const CTextMatcher matcher(u"(a", true);
  QVERIFY(!matcher.IsValid());
  QVERIFY(matcher.Error().contains(u"missing )"));
  QVERIFY(!matcher.Matches(u"(a"));
  QVERIFY(CTextMatcher(u"(a", false).Matches(u"x(a"));  // a substring has no syntax
}

void TestLineFilter::pathologicalRegexReturns_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QChar>("fill");
  QTest::newRow("nested star") << S(u"(a*)*b") << QChar(u'a');
  QTest::newRow("nested plus") << S(u"(x+x+)+y") << QChar(u'x');
  QTest::newRow("alternation") << S(u"(a|aa)+$b") << QChar(u'a');
}

void TestLineFilter::pathologicalRegexReturns() {
  QFETCH(QString, pattern);
  QFETCH(QChar, fill);
  const CTextMatcher matcher(pattern, true);
  QVERIFY(matcher.IsValid());
  const QString line(100000, fill);
  QElapsedTimer watchdog;
  watchdog.start();
  for (int i = 0; i < 10; ++i) QVERIFY(!matcher.Matches(line));
  // A watchdog, not a speed check (bench_filter measures): a backtracking
  // matcher would not end in this lifetime.
  QVERIFY(watchdog.elapsed() < 30000);
}

void TestLineFilter::query_data() {
  QTest::addColumn<QString>("bar");
  QTest::addColumn<bool>("regex");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("sender");
  QTest::addColumn<bool>("matches");
  QTest::newRow("empty") << S(u"") << false << S(u"x") << S(u"a[1]") << true;
  QTest::newRow("words are ANDed") << S(u"load done") << false << S(u"load: done") << S(u"a[1]") << true;
  QTest::newRow("one word missing") << S(u"load done") << false << S(u"load: failed") << S(u"a[1]") << false;
  QTest::newRow("exclude") << S(u"load -debug") << false << S(u"load debug") << S(u"a[1]") << false;
  QTest::newRow("exclude absent") << S(u"load -debug") << false << S(u"load info") << S(u"a[1]") << true;
  QTest::newRow("capital word exact") << S(u"Load") << false << S(u"load") << S(u"a[1]") << false;
  QTest::newRow("sender") << S(u"@worker") << false << S(u"x") << S(u"Worker[31]") << true;
  QTest::newRow("sender is not text") << S(u"@worker") << false << S(u"worker") << S(u"a[1]") << false;
  QTest::newRow("exclude sender") << S(u"-@worker") << false << S(u"x") << S(u"worker[31]") << false;
  QTest::newRow("re: word") << S(u"re:^ab+c$") << false << S(u"abbbc") << S(u"a[1]") << true;
  QTest::newRow("re: word misses") << S(u"re:^ab+c$") << false << S(u"xabbbc") << S(u"a[1]") << false;
  QTest::newRow("toggle makes every word a regex") << S(u"^ab+c$") << true << S(u"abbbc") << S(u"a[1]") << true;
  QTest::newRow("without toggle a plain word") << S(u"^ab+c$") << false << S(u"abbbc") << S(u"a[1]") << false;
  QTest::newRow("quoted words keep spaces") << S(u"\"b c\"") << false << S(u"a b c") << S(u"a[1]") << true;
  QTest::newRow("quoted words are one word") << S(u"\"b c\"") << false << S(u"c b") << S(u"a[1]") << false;
  QTest::newRow("sender regex") << S(u"@re:^w.*\\[3") << false << S(u"x") << S(u"w[31]") << true;
  QTest::newRow("prefix alone is left out") << S(u"load - @ re:") << false << S(u"load") << S(u"a[1]") << true;
}

void TestLineFilter::query() {
  QFETCH(QString, bar);
  QFETCH(bool, regex);
  QFETCH(QString, text);
  QFETCH(QString, sender);
  QFETCH(bool, matches);
  const CBarQuery query = CBarQuery::Parse(bar, regex);
  QCOMPARE(query.Error(), QString());
  QCOMPARE(query.Matches(text, [&] { return sender; }), matches);
}

void TestLineFilter::queryWithBadWordMatchesNothing() {
  const CBarQuery query = CBarQuery::Parse(u"load re:(a");
  QVERIFY(query.Error().startsWith(u"re:(a: "));
  QVERIFY(!query.Matches(u"load (a", {}));
}

void TestLineFilter::narrows_data() {
  QTest::addColumn<QString>("previous");
  QTest::addColumn<QString>("next");
  QTest::addColumn<bool>("narrows");
  QTest::newRow("from nothing") << S(u"") << S(u"a") << true;
  QTest::newRow("word lengthened") << S(u"loa") << S(u"load") << true;
  QTest::newRow("word added") << S(u"load") << S(u"load done") << true;
  QTest::newRow("word put before") << S(u"load") << S(u"x load") << true;
  QTest::newRow("capital added") << S(u"load") << S(u"Load") << true;
  QTest::newRow("capital taken away") << S(u"Load") << S(u"load") << false;
  QTest::newRow("word shortened") << S(u"load") << S(u"loa") << false;
  QTest::newRow("word removed") << S(u"a b") << S(u"a") << false;
  QTest::newRow("word replaced") << S(u"load") << S(u"save") << false;
  QTest::newRow("exclusion added") << S(u"load") << S(u"load -x") << true;
  QTest::newRow("exclusion lengthened") << S(u"-deb") << S(u"-debug") << false;
  QTest::newRow("exclusion shortened") << S(u"-debug") << S(u"-deb") << true;
  QTest::newRow("regex lengthened") << S(u"re:ab") << S(u"re:ab|c") << false;
  QTest::newRow("same regex") << S(u"re:ab") << S(u"re:ab x") << true;
  QTest::newRow("text became sender") << S(u"work") << S(u"@work") << false;
  QTest::newRow("sender lengthened") << S(u"@work") << S(u"@worker") << true;
  QTest::newRow("to a bad regex") << S(u"a") << S(u"a re:(") << false;
}

void TestLineFilter::narrows() {
  QFETCH(QString, previous);
  QFETCH(QString, next);
  QFETCH(bool, narrows);
  QCOMPARE(CBarQuery::Parse(next).Narrows(CBarQuery::Parse(previous)), narrows);
}

QTEST_APPLESS_MAIN(TestLineFilter)
void TestLineFilter::threadsMatchAlike() {
  // Each thread matches with its own copy of a pattern: the copies must
  // agree with one another, on narrow and on wide text.
  const CTextMatcher re(u"time[0-9]+ms", true);
  const CTextMatcher word(u"beta", false);
  QStringList lines;
  for (int i = 0; i < 2000; ++i)
    lines << QStringLiteral("%1 time%2ms %3")
                 .arg(i)
                 .arg(i % 7 == 0 ? QString::number(i) : QStringLiteral("x"),
                      i % 5 == 0 ? QStringLiteral("BETA \u0416") : QString());
  const auto count = [&](const CTextMatcher& m) {
    int hits = 0;
    for (const QString& line : lines) hits += m.Matches(line) ? 1 : 0;
    return hits;
  };
  int counts[4] = {};
  std::thread a([&] { counts[0] = count(re), counts[1] = count(word); });
  std::thread b([&] { counts[2] = count(re), counts[3] = count(word); });
  a.join();
  b.join();
  QCOMPARE(counts[0], 286);  // every 7th line has digits
  QCOMPARE(counts[1], 400);  // every 5th holds BETA, wide or not
  QCOMPARE(counts[2], counts[0]);
  QCOMPARE(counts[3], counts[1]);
}

#include "tst_linefilter.moc"
