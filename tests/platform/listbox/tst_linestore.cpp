// The line store without a display: exact round trips of every kind of
// line, selection marks that travel with inserted lines, and searches that
// agree with QString's own.
#include <QtTest>

#include "platform/listbox/linestore.h"

using zef::CLineStore;

namespace {

QString Repeated(const QString& unit, int times) {
  QString s;
  s.reserve(unit.size() * times);
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

// Lines of every storage kind, in an order that puts UTF-16 lines at both
// odd and even byte offsets.
QStringList MixedLines() {
  return {
      QStringLiteral("plain ascii"),
      QString(),
      QString(QChar(0x20AC)),  // euro sign: outside Latin-1
      QStringLiteral("x"),
      QStringLiteral("caf\u00e9 \u00ff\u00b5"),  // Latin-1 top half
      QString(QChar(0x0100)) + QStringLiteral("abc"),
      QStringLiteral("odd"),
      QString::fromUcs4(U"\U0001F600 pair"),  // surrogate pair
      QString(1, QChar(0)) + QStringLiteral("nul inside"),
      Repeated(QStringLiteral("0123456789abcdef"), 5000),             // 80,000 Latin-1 units
      Repeated(QString(QChar(0x4E2D)) + QStringLiteral("z"), 40000),  // 80,000 UTF-16 units
      QStringLiteral("tail"),
  };
}

}  // namespace

class TestLineStore : public QObject {
  Q_OBJECT
 private slots:
  void RoundTripsEveryKindOfLine();
  void KeepsLinesAndMarksInOrderAcrossSegments();
  void InsertMovesMarksWithTheirLines_data();
  void InsertMovesMarksWithTheirLines();
  void SelectedItemsAscendingAndLimited_data();
  void SelectedItemsAscendingAndLimited();
  void FindAgreesWithQString_data();
  void FindAgreesWithQString();
  void FindWalksBothWays_data();
  void FindWalksBothWays();
  void ContainsCharacter_data();
  void ContainsCharacter();
  void ClearForgetsEverything();
  void DropOldestTakesWholeSegmentsAndKeepsTheRest();
  void IndentedLinesReadBackAsShown();
  void FindOverIndentedLinesAgreesWithTheShownLines_data();
  void FindOverIndentedLinesAgreesWithTheShownLines();
  void IndentCostsNothingPerLine();
  void LengthCapCountsTheIndent();
  void RangeSelectionMatchesLineByLine_data();
  void RangeSelectionMatchesLineByLine();
  void StampsTravelWithTheirLines_data();
  void StampsTravelWithTheirLines();
  void TimesAreKeptExactly_data();
  void TimesAreKeptExactly();
  void SpansExactThenToTheMillisecond_data();
  void SpansExactThenToTheMillisecond();
  void StampsCostAtMostTwelveBytesPerLine_data();
  void StampsCostAtMostTwelveBytesPerLine();
  void LineReadsInPlaceWhatTheOtherReadsGive();
};

void TestLineStore::DropOldestTakesWholeSegmentsAndKeepsTheRest() {
  CLineStore store;
  const int lines = 3 * CLineStore::kSegmentLines + 10;
  for (int i = 0; i < lines; ++i) store.Append(QString::number(i), i % 3, {1000 + i, std::uint32_t(i % 5), -1});
  store.SetSelected(5, true);                                    // goes
  store.SetSelected(2 * CLineStore::kSegmentLines + 7, true);    // stays
  QCOMPARE(store.DropOldest(store.MemoryUsed()), 0);             // within the limit
  const int dropped = store.DropOldest(store.MemoryUsed() - 1);  // one byte over: the oldest segment goes
  QCOMPARE(dropped, CLineStore::kSegmentLines);
  QCOMPARE(store.Count(), lines - dropped);
  for (int i = 0; i < store.Count(); i += 997) {
    QCOMPARE(store.OwnText(i), QString::number(i + dropped));
    QCOMPARE(store.Depth(i), (i + dropped) % 3);
    QCOMPARE(store.Stamp(i).nTime, 1000 + i + dropped);
  }
  QCOMPARE(store.SelectedItems(10), std::vector<int>{2 * CLineStore::kSegmentLines + 7 - dropped});
  QCOMPARE(store.SelectedCount(), 1);
  // The open segment always stays, and appending goes on after it.
  QCOMPARE(store.DropOldest(0), 2 * CLineStore::kSegmentLines);
  QCOMPARE(store.Count(), 10);
  QCOMPARE(store.Append(QStringLiteral("next")), 10);
  QCOMPARE(store.OwnText(9), QString::number(lines - 1));
}

void TestLineStore::RoundTripsEveryKindOfLine() {
  CLineStore store;
  const QStringList lines = MixedLines();
  for (const QString& line : lines) store.Append(line);
  QCOMPARE(store.Count(), lines.size());
  for (int i = 0; i < lines.size(); ++i) {
    QCOMPARE(store.Text(i), lines[i]);
    QCOMPARE(store.Length(i), lines[i].size());
  }
  QVERIFY(store.IsLatin1(4));
  QVERIFY(!store.IsLatin1(2));
  QVERIFY(!store.IsLatin1(7));
}

void TestLineStore::KeepsLinesAndMarksInOrderAcrossSegments() {
  // Several segments, with inserts into sealed ones so that segments split
  // and their first-line numbers shift.
  CLineStore store;
  QStringList expected;
  const int n = CLineStore::kSegmentLines * 3 + 17;
  for (int i = 0; i < n; ++i) {
    const QString line = (i % 7 == 0) ? QStringLiteral("\u20ac%1").arg(i) : QStringLiteral("line %1").arg(i);
    store.Append(line);
    expected.append(line);
  }
  for (int i = 0; i < CLineStore::kSegmentLines + 5; ++i) {
    const int at = (i * 37) % (CLineStore::kSegmentLines * 2);
    // Mostly even byte counts (moved in place); now and then an odd count
    // or a UTF-16 line, which makes the segment be rebuilt.
    QString line = QStringLiteral("in%1").arg(i, 4, 10, QLatin1Char('0'));
    if (i % 50 == 0) line = QStringLiteral("odd");
    if (i % 50 == 25) line = QStringLiteral("\u0101%1").arg(i);
    store.Insert(at, line);
    expected.insert(at, line);
  }
  QCOMPARE(store.Count(), expected.size());
  for (int i = 0; i < expected.size(); ++i)
    if (store.Text(i) != expected[i]) QFAIL(qPrintable(QStringLiteral("line %1 differs").arg(i)));
  store.SetSelected(expected.size() - 1, true);
  store.SetSelected(CLineStore::kSegmentLines, true);
  QCOMPARE(store.SelectedItems(10), (std::vector<int>{CLineStore::kSegmentLines, int(expected.size()) - 1}));
}

void TestLineStore::InsertMovesMarksWithTheirLines_data() {
  QTest::addColumn<int>("at");
  QTest::newRow("front") << 0;
  QTest::newRow("between marks") << 2;
  QTest::newRow("after the last mark") << 4;
  QTest::newRow("end") << 5;
}

void TestLineStore::InsertMovesMarksWithTheirLines() {
  QFETCH(int, at);
  CLineStore store;
  for (int i = 0; i < 5; ++i) store.Append(QStringLiteral("l%1").arg(i));
  store.SetSelected(1, true);
  store.SetSelected(3, true);
  store.Insert(at, QString(QChar(0x0100)));
  QCOMPARE(store.Text(at), QString(QChar(0x0100)));
  QVERIFY(!store.IsSelected(at));
  std::vector<int> marks;
  for (int old : {1, 3}) marks.push_back(old >= at ? old + 1 : old);
  QCOMPARE(store.SelectedItems(10), marks);
  QCOMPARE(store.SelectedCount(), 2);
  for (int i = 0; i < 5; ++i) QCOMPARE(store.Text(i >= at ? i + 1 : i), QStringLiteral("l%1").arg(i));
}

void TestLineStore::SelectedItemsAscendingAndLimited_data() {
  QTest::addColumn<int>("maxItems");
  QTest::addColumn<std::vector<int>>("expected");
  QTest::newRow("room for all") << 10 << std::vector<int>{0, 5000, 9999};
  QTest::newRow("room for two") << 2 << std::vector<int>{0, 5000};
  QTest::newRow("no room") << 0 << std::vector<int>{};
  QTest::newRow("negative room") << -3 << std::vector<int>{};
}

void TestLineStore::SelectedItemsAscendingAndLimited() {
  QFETCH(int, maxItems);
  QFETCH(std::vector<int>, expected);
  CLineStore store;
  for (int i = 0; i < 10000; ++i) store.Append(QStringLiteral("x"));
  for (int i : {9999, 0, 5000}) QVERIFY(store.SetSelected(i, true));
  QVERIFY(!store.SetSelected(0, true));
  QCOMPARE(store.SelectedCount(), 3);
  QCOMPARE(store.SelectedItems(maxItems), expected);
}

void TestLineStore::FindAgreesWithQString_data() {
  QTest::addColumn<QString>("needle");
  QTest::newRow("ascii") << QStringLiteral("ain");
  QTest::newRow("ascii other case") << QStringLiteral("PLAIN");
  QTest::newRow("latin-1 lower") << QStringLiteral("caf\u00e9");
  QTest::newRow("latin-1 upper") << QStringLiteral("CAF\u00c9");
  QTest::newRow("y diaeresis upper") << QString(QChar(0x0178));  // folds to U+00FF
  QTest::newRow("micro vs mu") << QString(QChar(0x039C));        // folds like U+00B5
  QTest::newRow("euro") << QString(QChar(0x20AC));
  QTest::newRow("a macron upper-case") << QStringLiteral("\u0100ABC");
  QTest::newRow("surrogate pair") << QString::fromUcs4(U"\U0001F600");
  QTest::newRow("nul") << QString(1, QChar(0));
  QTest::newRow("across a long line") << QStringLiteral("FEDCBA");
  QTest::newRow("at the end of a long line") << QStringLiteral("cdef");
  QTest::newRow("longer than most lines") << QStringLiteral("plain ascii plus more");
  QTest::newRow("nowhere") << QStringLiteral("\u00e9t\u00e9");
  // Adjacent in the store's bytes, but in different lines.
  QTest::newRow("across an empty line") << QStringLiteral("asciix");
  QTest::newRow("across a line end, other case") << QStringLiteral("DD") + QChar(0) + QStringLiteral("N");
}

void TestLineStore::FindAgreesWithQString() {
  QFETCH(QString, needle);
  // Once with every kind of line, once with the Latin-1 ones only (which
  // are searched as one run of bytes rather than line by line).
  QStringList latin1Only;
  for (const QString& line : MixedLines())
    if (std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() <= 0xFF; })) latin1Only << line;
  for (const QStringList& lines : {MixedLines(), latin1Only}) {
    CLineStore store;
    for (const QString& line : lines) store.Append(line);
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
      int expectedDown = -1;
      for (int i = 0; i < lines.size() && expectedDown < 0; ++i)
        if (lines[i].contains(needle, cs)) expectedDown = i;
      int expectedUp = -1;
      for (int i = int(lines.size()) - 1; i >= 0 && expectedUp < 0; --i)
        if (lines[i].contains(needle, cs)) expectedUp = i;
      QCOMPARE(store.Find(0, 1, needle, cs), expectedDown);
      QCOMPARE(store.Find(int(lines.size()) - 1, -1, needle, cs), expectedUp);
    }
  }
}

void TestLineStore::FindWalksBothWays_data() {
  QTest::addColumn<int>("from");
  QTest::addColumn<int>("step");
  QTest::addColumn<int>("expected");
  // "hit" is on lines 3, 4100 and 8000 of 8192.
  QTest::newRow("down from the start") << 0 << 1 << 3;
  QTest::newRow("down from a hit") << 3 << 1 << 3;
  QTest::newRow("down past a hit") << 4 << 1 << 4100;
  QTest::newRow("down off the end") << 8001 << 1 << -1;
  QTest::newRow("up from the end") << 8191 << -1 << 8000;
  QTest::newRow("up across a segment") << 7999 << -1 << 4100;
  QTest::newRow("up off the start") << 2 << -1 << -1;
  QTest::newRow("from beyond the end") << 8192 << 1 << -1;
  QTest::newRow("from before the start") << -1 << -1 << -1;
}

void TestLineStore::FindWalksBothWays() {
  QFETCH(int, from);
  QFETCH(int, step);
  QFETCH(int, expected);
  CLineStore store;
  for (int i = 0; i < 8192; ++i)
    store.Append(i == 3 || i == 4100 || i == 8000 ? QStringLiteral("a HIT here") : QStringLiteral("a miss"));
  QCOMPARE(store.Find(from, step, u"hit", Qt::CaseInsensitive), expected);
  QCOMPARE(store.Find(from, step, u"HIT", Qt::CaseSensitive), expected);
  QCOMPARE(store.Find(from, step, u"hit", Qt::CaseSensitive), -1);
}

void TestLineStore::ContainsCharacter_data() {
  QTest::addColumn<int>("line");
  QTest::addColumn<QChar>("ch");
  QTest::addColumn<bool>("expected");
  QTest::newRow("latin-1 line, present") << 0 << QChar(u'{') << true;
  QTest::newRow("latin-1 line, absent") << 0 << QChar(u'}') << false;
  QTest::newRow("latin-1 line, wide char") << 0 << QChar(0x017B) << false;  // low byte is '{'
  QTest::newRow("wide line, present") << 1 << QChar(u'}') << true;
  QTest::newRow("wide line, absent") << 1 << QChar(u'{') << false;
  QTest::newRow("empty line") << 2 << QChar(u'{') << false;
}

void TestLineStore::ContainsCharacter() {
  QFETCH(int, line);
  QFETCH(QChar, ch);
  QFETCH(bool, expected);
  CLineStore store;
  store.Append(u"Foo() {");
  store.Append(u"} \u20ac");
  store.Append(u"");
  QCOMPARE(store.Contains(line, ch.unicode()), expected);
}

void TestLineStore::ClearForgetsEverything() {
  CLineStore store;
  for (int i = 0; i < 5000; ++i) store.Append(u"abc");
  store.SetAllSelected(true);
  QCOMPARE(store.SelectedCount(), 5000);
  store.Clear();
  QCOMPARE(store.Count(), 0);
  QCOMPARE(store.SelectedCount(), 0);
  QCOMPARE(store.Find(0, 1, u"", Qt::CaseSensitive), -1);
  QCOMPARE(store.Append(u"again"), 0);
  QVERIFY(!store.IsSelected(0));
}

namespace {

// What a line looks like, kept beside the store to compare with.
struct ShownLine {
  QString indent;
  int depth;
  QString text;
  QString Shown() const { return indent.repeated(depth) + text; }
};

// Lines in several segments: depths from 0 up, the indent string changed
// twice on the way, Latin-1 and UTF-16 text, and lines inserted into sealed
// segments with an indent string other than their neighbours'.
std::vector<ShownLine> FillWithIndentedLines(CLineStore& store) {
  std::vector<ShownLine> model;
  const QStringList indents = {QStringLiteral("  "), QStringLiteral(". "), QStringLiteral("{")};
  const int n = CLineStore::kSegmentLines * 2 + 300;
  for (int i = 0; i < n; ++i) {
    const QString& indent = indents[i * 3 / n];
    if (i > 0 && indent != model.back().indent) store.SetIndent(indent);
    const int depth = (i * 7) % 13 - 2;  // below zero now and then
    QString text = QStringLiteral("line %1 {").arg(i);
    if (i % 11 == 0) text = QStringLiteral("\u20ac %1").arg(i);
    if (i % 17 == 0) text.clear();
    store.Append(text, depth);
    model.push_back({indent, std::max(0, depth), text});
  }
  store.SetIndent(QStringLiteral("->"));
  for (int i = 0; i < 40; ++i) {
    const int at = (i * 997) % int(model.size());
    const QString text = QStringLiteral("inserted %1").arg(i);
    store.Insert(at, text, i % 4);
    model.insert(model.begin() + at, {QStringLiteral("->"), i % 4, text});
  }
  return model;
}

}  // namespace

void TestLineStore::IndentedLinesReadBackAsShown() {
  CLineStore store;
  const std::vector<ShownLine> model = FillWithIndentedLines(store);
  QCOMPARE(store.Count(), int(model.size()));
  for (int i = 0; i < int(model.size()); ++i) {
    const ShownLine& line = model[std::size_t(i)];
    const QString shown = line.Shown();
    if (store.Text(i) != shown) QFAIL(qPrintable(QStringLiteral("line %1: %2").arg(i).arg(store.Text(i))));
    QCOMPARE(store.Length(i), shown.size());
    QCOMPARE(store.OwnText(i), line.text);
    QCOMPARE(store.Depth(i), line.text.isNull() && line.depth == 0 ? 0 : line.depth);
    if (line.depth > 0) QCOMPARE(store.IndentOf(i), line.indent);
    for (char16_t ch : {u'{', u'.', u'>', u'\u20ac'}) QCOMPARE(store.Contains(i, ch), shown.contains(QChar(ch)));
  }
}

void TestLineStore::FindOverIndentedLinesAgreesWithTheShownLines_data() {
  QTest::addColumn<QString>("needle");
  QTest::newRow("own text") << QStringLiteral("line 77 {");
  QTest::newRow("leave key, never there") << QStringLiteral("} line");
  QTest::newRow("deep indent alone") << QStringLiteral(". . . . . . . . . .");
  QTest::newRow("across the indent's end") << QStringLiteral(". line 30");
  QTest::newRow("brace indent then text") << QStringLiteral("{{{{{{{{line");
  QTest::newRow("arrow indent, other case") << QStringLiteral(">->INSERTED 3");
  QTest::newRow("across into UTF-16 text") << QStringLiteral("  \u20ac");
  QTest::newRow("indent into an empty text, no match") << QStringLiteral("  x");
}

void TestLineStore::FindOverIndentedLinesAgreesWithTheShownLines() {
  QFETCH(QString, needle);
  CLineStore store;
  const std::vector<ShownLine> model = FillWithIndentedLines(store);
  const int n = int(model.size());
  for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
    for (int from : {0, 1, n / 2, n - 2, n - 1})
      for (int step : {1, -1}) {
        int expected = -1;
        for (int i = from; i >= 0 && i < n && expected < 0; i += step)
          if (model[std::size_t(i)].Shown().contains(needle, cs)) expected = i;
        const int found = store.Find(from, step, needle, cs);
        if (found != expected)
          QFAIL(qPrintable(QStringLiteral("from %1 step %2 case %3: found %4, expected %5")
                               .arg(from)
                               .arg(step)
                               .arg(int(cs))
                               .arg(found)
                               .arg(expected)));
      }
}

void TestLineStore::IndentCostsNothingPerLine() {
  // The same lines flat, then each one level deeper than the last (as an
  // unbalanced stream of enter lines leaves them), then after an indent
  // string of 200,000 characters: the depth costs one 32-bit number per
  // line, and the indent string is held once.
  constexpr int kLines = 20000;
  CLineStore flat;
  CLineStore deep;
  CLineStore wide;
  wide.SetIndent(QString(200000, u'-'));
  for (int i = 0; i < kLines; ++i) {
    flat.Append(u"f() {");
    deep.Append(u"f() {", i);
    wide.Append(u"f() {", std::min(i, 1));
  }
  QVERIFY2(deep.MemoryUsed() <= flat.MemoryUsed() + kLines * sizeof(std::uint32_t) + 4096,
           qPrintable(QStringLiteral("%1 against %2").arg(deep.MemoryUsed()).arg(flat.MemoryUsed())));
  QVERIFY2(wide.MemoryUsed() <= flat.MemoryUsed() + kLines * sizeof(std::uint32_t) + 200000 * 2 + 4096,
           qPrintable(QStringLiteral("%1 against %2").arg(wide.MemoryUsed()).arg(flat.MemoryUsed())));
  QCOMPARE(deep.Length(kLines - 1), 2 * (kLines - 1) + 5);
  QCOMPARE(wide.Length(kLines - 1), 200000 + 5);
}

void TestLineStore::LengthCapCountsTheIndent() {
  // The cap on a line's length applies to the line as shown: text beyond it
  // is cut when stored, an indent beyond it when read.
  CLineStore store;
  const int halfCap = CLineStore::kMaxLineLength / 2;
  store.Append(u"abc", halfCap - 1);  // two units short of the cap before the text
  store.Append(u"abc", INT_MAX);
  QCOMPARE(store.Length(0), CLineStore::kMaxLineLength);
  QCOMPARE(store.OwnText(0), QStringLiteral("ab"));
  QCOMPARE(store.Length(1), CLineStore::kMaxLineLength);
  QCOMPARE(store.OwnText(1), QString());
}

void TestLineStore::RangeSelectionMatchesLineByLine_data() {
  QTest::addColumn<int>("first");
  QTest::addColumn<int>("last");
  QTest::addColumn<bool>("select");
  const int seg = CLineStore::kSegmentLines;
  QTest::newRow("one line") << 7 << 7 << true;
  QTest::newRow("within a segment") << 10 << 200 << true;
  QTest::newRow("across three segments") << seg - 3 << 2 * seg + 5 << true;
  QTest::newRow("to the last line") << 2 * seg << 3 * seg + 99 << true;
  QTest::newRow("unselect across segments") << 5 << 2 * seg + 1 << false;
}

void TestLineStore::RangeSelectionMatchesLineByLine() {
  QFETCH(int, first);
  QFETCH(int, last);
  QFETCH(bool, select);
  // Two stores, some lines selected beforehand; one takes the range, the
  // other the same lines one by one.
  CLineStore range;
  CLineStore single;
  const int n = CLineStore::kSegmentLines * 3 + 100;
  for (int i = 0; i < n; ++i) {
    range.Append(u"x");
    single.Append(u"x");
  }
  // An insert leaves a segment that is not full.
  range.Insert(CLineStore::kSegmentLines + 1, u"y");
  single.Insert(CLineStore::kSegmentLines + 1, u"y");
  for (int i = 0; i < n; i += 37) {
    range.SetSelected(i, true);
    single.SetSelected(i, true);
  }
  range.SetRangeSelected(first, last, select);
  for (int i = first; i <= last; ++i) single.SetSelected(i, select);
  QCOMPARE(range.SelectedCount(), single.SelectedCount());
  QCOMPARE(range.SelectedItems(n + 1), single.SelectedItems(n + 1));
}

namespace {

using zef::SLineStamp;

// A moment of 2024 in microseconds since the epoch, as the monitor stamps.
constexpr std::int64_t kNow = 1718000000LL * 1000000;
constexpr std::int64_t kHour = 3600LL * 1000000;

struct StampedLine {
  QString text;
  int depth;
  SLineStamp stamp;
};

// Compares every line of `store` with the model: text as shown, depth,
// stamp and selection mark.
void CompareWithModel(const CLineStore& store, const std::vector<StampedLine>& model, const std::vector<bool>& marks) {
  QCOMPARE(store.Count(), int(model.size()));
  for (int i = 0; i < store.Count(); ++i) {
    const StampedLine& line = model[std::size_t(i)];
    const SLineStamp stamp = store.Stamp(i);
    if (stamp != line.stamp || store.OwnText(i) != line.text || store.Depth(i) != std::max(0, line.depth) ||
        store.IsSelected(i) != marks[std::size_t(i)])
      QFAIL(qPrintable(QStringLiteral("line %1: '%2' depth %3 time %4 sender %5 span %6; expected '%7' time %8")
                           .arg(i)
                           .arg(store.OwnText(i))
                           .arg(store.Depth(i))
                           .arg(stamp.nTime)
                           .arg(stamp.nSender)
                           .arg(stamp.nSpan)
                           .arg(line.text)
                           .arg(line.stamp.nTime)));
  }
}

}  // namespace

void TestLineStore::StampsTravelWithTheirLines_data() {
  // Each row fills a store of several segments with stamped lines, then
  // inserts lines by one path of the store; every line keeps its stamp.
  QTest::addColumn<QString>("path");
  for (const char* path : {"append only", "insert moving bytes in place", "insert rebuilding for UTF-16 alignment",
                           "insert with another indent string", "insert far from the neighbours' times",
                           "inserts that split a segment", "clear, then append"})
    QTest::newRow(path) << QString::fromLatin1(path);
}

void TestLineStore::StampsTravelWithTheirLines() {
  QFETCH(QString, path);
  CLineStore store;
  std::vector<StampedLine> model;
  std::vector<bool> marks;
  const auto append = [&](const QString& text, int depth, const SLineStamp& stamp) {
    store.Append(text, depth, stamp);
    model.push_back({text, depth, stamp});
    marks.push_back(false);
  };
  const auto insert = [&](int at, const QString& text, int depth, const SLineStamp& stamp) {
    store.Insert(at, text, depth, stamp);
    model.insert(model.begin() + at, {text, depth, stamp});
    marks.insert(marks.begin() + at, false);
  };
  const int n = CLineStore::kSegmentLines * 2 + 100;
  for (int i = 0; i < n; ++i) {
    // Every part of the stamp varies, some lines carry none at all, every
    // tenth line is UTF-16 and every seventh indented.
    SLineStamp stamp{kNow + i * 1237LL, std::uint32_t(i % 5), i % 3 == 0 ? i * 1000LL : -1};
    if (i % 13 == 0) stamp = {};
    append(i % 10 == 0 ? QStringLiteral("\u20ac wide %1").arg(i) : QStringLiteral("line %1").arg(i), i % 7 == 0 ? 2 : 0,
           stamp);
  }
  for (int i = 0; i < n; i += 31) {
    store.SetSelected(i, true);
    marks[std::size_t(i)] = true;
  }
  const SLineStamp inserted{kNow + 5000, 77, 123456};
  if (path == QLatin1String("insert moving bytes in place")) {
    // One deeper than a byte holds, and from a sender beyond a byte, among
    // lines whose depths and senders take a byte each.
    for (int at : {0, 1, 4095, 4096, 5000})
      insert(at, QStringLiteral("ev"), at == 4095 ? 1000 : 0, at == 5000 ? SLineStamp{kNow, 1u << 20, 1} : inserted);
  } else if (path == QLatin1String("insert rebuilding for UTF-16 alignment")) {
    // An odd number of bytes before UTF-16 lines: the segment is rebuilt.
    for (int at : {1, 4100}) insert(at, QStringLiteral("odd"), 1, inserted);
  } else if (path == QLatin1String("insert with another indent string")) {
    store.SetIndent(u"->");
    for (int at : {7, 4096 + 7}) insert(at, QStringLiteral("arrow"), 3, inserted);
    store.SetIndent(u"  ");
  } else if (path == QLatin1String("insert far from the neighbours' times")) {
    // Hours away, before and after, in the middle and at the edges of
    // segments; and back to the neighbours' times beside them.
    int k = 0;
    for (int at : {3, 4, 4096, 0, 8000})
      insert(at, QStringLiteral("far"), 0, {kNow + (k++ % 2 ? 9 : -9) * kHour, 9, 5});
    insert(4, QStringLiteral("near"), 0, inserted);
  } else if (path == QLatin1String("inserts that split a segment")) {
    for (int i = 0; i < CLineStore::kSegmentLines + 10; ++i)
      insert(100 + i, QStringLiteral("in"), 0, {kNow + i, std::uint32_t(i), i});
  } else if (path == QLatin1String("clear, then append")) {
    store.Clear();
    model.clear();
    marks.clear();
    for (int i = 0; i < 5000; ++i) append(QStringLiteral("again"), 0, {kNow - i, 3, 7});
  }
  CompareWithModel(store, model, marks);
}

void TestLineStore::TimesAreKeptExactly_data() {
  // Times appended in this order, each read back unchanged.
  QTest::addColumn<std::vector<std::int64_t>>("times");
  QTest::newRow("hours apart") << std::vector<std::int64_t>{kNow, kNow + 5 * kHour, kNow + 10 * kHour + 1,
                                                            kNow + 71 * kHour};
  QTest::newRow("stepping back") << std::vector<std::int64_t>{kNow, kNow - 1, kNow - 30 * 60000000LL, kNow - 3 * kHour,
                                                              kNow};
  const std::int64_t base = kNow - (std::int64_t(1) << 31);  // of the segment kNow opens
  QTest::newRow("edges of a segment's range")
      << std::vector<std::int64_t>{kNow, base, base - 1, kNow, base + 0xFFFFFFFFLL, base + 0x100000000LL};
  QTest::newRow("ends of the type") << std::vector<std::int64_t>{INT64_MIN, INT64_MIN + 1, INT64_MAX, -1,
                                                                 1,         INT64_MAX - 1};
  QTest::newRow("zero among others") << std::vector<std::int64_t>{0, kNow, 0, kNow + 1, 0, -kNow, 0};
}

void TestLineStore::TimesAreKeptExactly() {
  QFETCH(std::vector<std::int64_t>, times);
  // Appended, and also inserted in reverse at the front of a filled store
  // and into the middle of a segment.
  CLineStore appended;
  CLineStore inserted;
  for (int i = 0; i < 3 * CLineStore::kSegmentLines; ++i) inserted.Append(u"filler", 0, {kNow + i, 1, -1});
  const int n = int(times.size());
  const int middle = n + CLineStore::kSegmentLines + 9;
  for (std::int64_t time : times) {
    appended.Append(u"x", 0, {time, 2, -1});
    inserted.Insert(0, u"x", 0, {time, 2, -1});
  }
  for (std::int64_t time : times) inserted.Insert(middle, u"y", 0, {time, 3, -1});
  for (int i = 0; i < n; ++i) {
    const std::int64_t time = times[std::size_t(i)];
    QCOMPARE(appended.Stamp(i).nTime, time);
    QCOMPARE(inserted.Stamp(n - 1 - i).nTime, time);
    QCOMPARE(inserted.Stamp(middle + n - 1 - i).nTime, time);
  }
  for (int i = 0; i < 3 * CLineStore::kSegmentLines; ++i) {
    const int at = n + i < middle ? n + i : 2 * n + i;
    if (inserted.Stamp(at).nTime != kNow + i) QFAIL(qPrintable(QStringLiteral("filler %1 moved").arg(i)));
  }
}

void TestLineStore::SpansExactThenToTheMillisecond_data() {
  QTest::addColumn<std::int64_t>("span");
  QTest::addColumn<std::int64_t>("expected");
  const std::int64_t limit = CLineStore::kExactSpanLimit;
  QTest::newRow("none") << std::int64_t(-1) << std::int64_t(-1);
  QTest::newRow("any negative is none") << std::int64_t(INT64_MIN) << std::int64_t(-1);
  QTest::newRow("zero") << std::int64_t(0) << std::int64_t(0);
  QTest::newRow("one microsecond") << std::int64_t(1) << std::int64_t(1);
  QTest::newRow("largest exact") << limit - 1 << limit - 1;
  QTest::newRow("first in milliseconds, rounded up") << limit << std::int64_t(2147484000);
  QTest::newRow("an hour and 499 us, rounded down") << kHour + 499 << kHour;
  QTest::newRow("an hour and 500 us, rounded up") << kHour + 500 << kHour + 1000;
  QTest::newRow("largest kept") << CLineStore::kMaxSpan << CLineStore::kMaxSpan;
  QTest::newRow("just beyond, saturated") << CLineStore::kMaxSpan + 500 << CLineStore::kMaxSpan;
  QTest::newRow("largest of the type, saturated") << std::int64_t(INT64_MAX) << CLineStore::kMaxSpan;
}

void TestLineStore::SpansExactThenToTheMillisecond() {
  QFETCH(std::int64_t, span);
  QFETCH(std::int64_t, expected);
  CLineStore store;
  store.Append(u"\u20ac} Call()", 0, {kNow, 4, span});
  QCOMPARE(store.Stamp(0).nSpan, expected);
  // Copied as the segment is rebuilt (odd bytes before a UTF-16 line).
  store.Insert(0, u"odd", 0, {kNow, 4, -1});
  QCOMPARE(store.Stamp(1).nSpan, expected);
  QCOMPARE(store.Stamp(0).nSpan, std::int64_t(-1));
}

void TestLineStore::StampsCostAtMostTwelveBytesPerLine_data() {
  // Senders, like depths, take a byte per line while a segment's stay
  // below 256.
  // How lines are stamped, and the most bytes per line that may cost.
  QTest::addColumn<QString>("kind");
  QTest::addColumn<int>("bytesPerLine");
  QTest::newRow("no stamps") << QStringLiteral("none") << 0;
  QTest::newRow("time only") << QStringLiteral("time") << 4;
  QTest::newRow("time, sender below 256 and span") << QStringLiteral("full") << 9;
  QTest::newRow("senders beyond a byte") << QStringLiteral("many senders") << 12;
  QTest::newRow("stamped and unstamped lines alternating") << QStringLiteral("alternating") << 9;
  QTest::newRow("clock running backwards") << QStringLiteral("backwards") << 9;
}

void TestLineStore::StampsCostAtMostTwelveBytesPerLine() {
  QFETCH(QString, kind);
  QFETCH(int, bytesPerLine);
  constexpr int kLines = 10 * CLineStore::kSegmentLines;
  CLineStore plain;
  CLineStore stamped;
  for (int i = 0; i < kLines; ++i) {
    plain.Append(u"ZEFMON_EnumProcesses() returned");
    SLineStamp stamp{kNow + i * 3, std::uint32_t(i % 4), i % 3 == 0 ? 5000 : -1};
    if (kind == QLatin1String("none") || (kind == QLatin1String("alternating") && i % 2)) stamp = {};
    if (kind == QLatin1String("time")) stamp = {kNow + i * 3, 0, -1};
    if (kind == QLatin1String("many senders")) stamp.nSender = std::uint32_t(i) * 2654435761u;
    if (kind == QLatin1String("backwards")) stamp.nTime = kNow - i * 1000LL;
    stamped.Append(u"ZEFMON_EnumProcesses() returned", 0, stamp);
  }
  // A segment's few bookkeeping bytes besides.
  const std::size_t allowed = plain.MemoryUsed() + std::size_t(kLines) * std::size_t(bytesPerLine) + 4096;
  QVERIFY2(
      stamped.MemoryUsed() <= allowed,
      qPrintable(QStringLiteral("%1 bytes against %2 unstamped").arg(stamped.MemoryUsed()).arg(plain.MemoryUsed())));
}

void TestLineStore::LineReadsInPlaceWhatTheOtherReadsGive() {
  CLineStore store;
  const QStringList lines = MixedLines();
  for (int i = 0; i < 3 * CLineStore::kSegmentLines; ++i)
    store.Append(lines[i % lines.size()], i % 4, {1'700'000'000'000'000 + i, std::uint32_t(i % 300), i % 5 - 1});
  store.Insert(5, QStringLiteral("\u4e2d inserted"), 2, {});
  for (int i = 0; i < store.Count(); i += 97) {
    const zef::SHeldLine line = store.Line(i);
    QCOMPARE(line.nIndex, i);
    QCOMPARE(line.text.toString(), store.OwnText(i));
    QCOMPARE(line.nDepth, store.Depth(i));
    QCOMPARE(line.stamp, store.Stamp(i));
  }
  QCOMPARE(store.Line(5).text.toString(), QStringLiteral("\u4e2d inserted"));
}

QTEST_APPLESS_MAIN(TestLineStore)
#include "tst_linestore.moc"
