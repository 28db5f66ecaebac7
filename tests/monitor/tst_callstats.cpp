// Call statistics over lines: per sender, named by the leave lines, open
// calls counted apart, the longest totals first, and the same figures
// whichever way the lines are cut into parts.
#include "monitor/callstats.h"

#include <QTest>

#include <numeric>
#include <random>

using namespace zef;
using namespace Qt::Literals::StringLiterals;
using SSender = CCallStatistics::SSender;

class TestCallStats : public QObject {
  Q_OBJECT
 private slots:
  void interleavedSendersKeepTheirOwnCalls();
  void nestedAndRecursiveCallsCountOncePerLeave();
  void callsEnteredAndNotLeftAreCountedApart();
  void onlyTheLongestTotalsAreListed();
  void percentileIsTheNearestRank_data();
  void percentileIsTheNearestRank();
  void partsMergedGiveTheFiguresOfOneWalk();
};

namespace {

struct SLine {
  std::uint32_t nSender;
  QString strText;
  std::int64_t nSpan;
};

void Add(CCallStatistics& statistics, const SLine& line) {
  statistics.Add(line.nSender, line.strText.contains(u'}'), line.strText.contains(u'{'), line.nSpan, line.strText);
}

std::vector<SSender> Of(const std::vector<SLine>& lines) {
  CCallStatistics statistics;
  for (const SLine& line : lines) Add(statistics, line);
  return statistics.Result();
}

// "name count total min max" for each row.
QStringList Rows(const SSender& sender) {
  QStringList rows;
  for (const CCallStatistics::SRow& row : sender.vRows)
    rows << QStringLiteral("%1 %2 %3 %4 %5")
                .arg(row.strName)
                .arg(row.nCount)
                .arg(row.nTotal)
                .arg(row.nMin)
                .arg(row.nMax);
  return rows;
}

}  // namespace

void TestCallStats::interleavedSendersKeepTheirOwnCalls() {
  // Each leave ends its own sender's call, whatever the other wrote between.
  const std::vector<SSender> result = Of({{1, u"Load() {"_s, -1},
                                          {2, u"Load() {"_s, -1},
                                          {1, u"} Load()"_s, 10},
                                          {2, u"Save() {"_s, -1},
                                          {2, u"} Save() (0)"_s, 4},
                                          {2, u"} Load()"_s, 30}});
  QCOMPARE(result.size(), std::size_t(2));
  QCOMPARE(result[0].nSender, 1u);
  QCOMPARE(Rows(result[0]), QStringList{u"Load() 1 10 10 10"_s});
  QCOMPARE(result[1].nSender, 2u);
  QCOMPARE(Rows(result[1]), (QStringList{u"Load() 1 30 30 30"_s, u"Save() 1 4 4 4"_s}));
  QCOMPARE(result[1].nCalls, 2);
  QCOMPARE(result[0].nOpen + result[1].nOpen, 0);
}

void TestCallStats::nestedAndRecursiveCallsCountOncePerLeave() {
  const std::vector<SSender> result = Of({{1, u"Walk() {"_s, -1},
                                          {1, u"Walk() {"_s, -1},
                                          {1, u"Visit() {"_s, -1},
                                          {1, u"} Visit()"_s, 3},
                                          {1, u"} Walk()"_s, 5},
                                          {1, u"} Walk()"_s, 15},
                                          {1, u"plain line"_s, -1}});
  QCOMPARE(result.size(), std::size_t(1));
  QCOMPARE(Rows(result[0]), (QStringList{u"Walk() 2 20 5 15"_s, u"Visit() 1 3 3 3"_s}));
  QCOMPARE(result[0].vRows[0].nMean, 10);
  QCOMPARE(result[0].nOpen, 0);
}

void TestCallStats::callsEnteredAndNotLeftAreCountedApart() {
  // A leave whose enter came before the lines counts its call and leaves
  // the open ones alone; an untimed leave still ends one.
  const std::vector<SSender> result = Of({{1, u"} Early()"_s, 7},
                                          {1, u"Run() {"_s, -1},
                                          {1, u"Step() {"_s, -1},
                                          {1, u"Inner() {"_s, -1},
                                          {1, u"}"_s, -1},
                                          {2, u"Other() {"_s, -1}});
  QCOMPARE(result.size(), std::size_t(2));
  QCOMPARE(Rows(result[0]), QStringList{u"Early() 1 7 7 7"_s});
  QCOMPARE(result[0].nOpen, 2);
  // A sender with nothing but an open call is still listed.
  QCOMPARE(result[1].nCalls, 0);
  QCOMPARE(result[1].nOpen, 1);
  QVERIFY(Of({{1, u"plain"_s, -1}, {1, u"} Untimed()"_s, -1}}).empty());
}

void TestCallStats::onlyTheLongestTotalsAreListed() {
  std::vector<SLine> lines;
  const int names = CCallStatistics::kMaxRows + 3;
  for (int i = 1; i <= names; ++i) lines.push_back({1, QStringLiteral("} F%1()").arg(i), i});
  lines.push_back({1, u"} F1()"_s, 1});
  const std::vector<SSender> result = Of(lines);
  QCOMPARE(result[0].vRows.size(), std::size_t(CCallStatistics::kMaxRows));
  QCOMPARE(result[0].vRows.front().strName, QStringLiteral("F53()"));
  QCOMPARE(result[0].vRows.back().strName, QStringLiteral("F4()"));
  // F1 (twice), F2 and F3 are left: three names, four calls, 1+1+2+3.
  QCOMPARE(result[0].nMoreNames, 3);
  QCOMPARE(result[0].nMoreCalls, 4);
  QCOMPARE(result[0].nMoreTotal, 7);
  QCOMPARE(result[0].nCalls, names + 1);
}

void TestCallStats::percentileIsTheNearestRank_data() {
  QTest::addColumn<int>("calls");
  QTest::addColumn<qint64>("p95");
  QTest::newRow("one call") << 1 << qint64(1);
  QTest::newRow("twenty") << 20 << qint64(19);
  QTest::newRow("a hundred") << 100 << qint64(95);
  QTest::newRow("a hundred and one") << 101 << qint64(96);
}

void TestCallStats::percentileIsTheNearestRank() {
  QFETCH(int, calls);
  QFETCH(qint64, p95);
  // Durations 1 .. calls, in a shuffled order.
  std::vector<std::int64_t> spans(static_cast<std::size_t>(calls));
  std::iota(spans.begin(), spans.end(), 1);
  std::shuffle(spans.begin(), spans.end(), std::mt19937(7));
  std::vector<SLine> lines;
  for (std::int64_t span : spans) lines.push_back({1, u"} Call()"_s, span});
  const std::vector<SSender> result = Of(lines);
  QCOMPARE(result[0].vRows[0].nP95, p95);
  QCOMPARE(result[0].vRows[0].nMin, 1);
  QCOMPARE(result[0].vRows[0].nMax, calls);
}

void TestCallStats::partsMergedGiveTheFiguresOfOneWalk() {
  // Three senders nesting at random: every cut into two or three parts
  // merges to the figures of one walk, open calls included.
  std::mt19937 random(11);
  std::vector<SLine> lines;
  for (int i = 0; i < 300; ++i) {
    const auto sender = std::uint32_t(random() % 3);
    const int kind = int(random() % 3);
    const QString name = QStringLiteral("C%1()").arg(random() % 4);
    lines.push_back({sender,
                     kind == 0   ? name + u" {"_s
                     : kind == 1 ? u"} "_s + name
                                 : name,
                     kind == 1 ? int(random() % 50) : -1});
  }
  const auto figures = [](const std::vector<SSender>& result) {
    QStringList out;
    for (const SSender& s : result)
      out << QStringLiteral("%1: %2 open, %3 calls, %4")
                 .arg(s.nSender)
                 .arg(s.nOpen)
                 .arg(s.nCalls)
                 .arg(Rows(s).join(u';'));
    return out;
  };
  const QStringList whole = figures(Of(lines));
  for (std::size_t cut = 0; cut <= lines.size(); cut += 7) {
    const std::size_t second = std::min(lines.size(), cut + 50);
    CCallStatistics parts[3];
    for (std::size_t i = 0; i < lines.size(); ++i) Add(parts[i < cut ? 0 : i < second ? 1 : 2], lines[i]);
    parts[0].Merge(std::move(parts[1]));
    parts[0].Merge(std::move(parts[2]));
    QCOMPARE(figures(parts[0].Result()), whole);
  }
}

QTEST_GUILESS_MAIN(TestCallStats)
#include "tst_callstats.moc"
