// The monitor's filter over held lines: 10,000,000 Latin-1 lines of 60
// characters judged by a substring word, a regular expression, a bar query
// and five rules, split over two threads as the list re-filters; and
// patterns that make a backtracking matcher run for ages, on long lines.
// Usage: bench_filter [lines] [rounds]
#include "monitor/filterjudge.h"
#include "monitor/linefilter.h"
#include "monitor/linematcher.h"

#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <ctime>
#include <vector>

namespace {

constexpr std::size_t kWidth = 60;

// Lines as a trace would send them: a call, an item number, a step.
std::string MakeLines(std::size_t count) {
  static const char* const kWords[] = {"Load", "Parse", "Render", "Save", "Query", "Send", "Close", "Open"};
  std::string all(count * kWidth, ' ');
  std::uint32_t seed = 12345;
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    char line[kWidth + 1];
    const int n =
        std::snprintf(line, sizeof line, "%s(item %u) step %u of 12, queue %u, took time%ums", kWords[(seed >> 16) % 8],
                      seed % 1000000u, (seed >> 8) % 12u, (seed >> 4) % 64u, (seed >> 12) % 100u);
    std::copy_n(line, std::min<std::size_t>(std::size_t(n), kWidth), all.begin() + std::ptrdiff_t(i * kWidth));
  }
  return all;
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct STimes {
  double wall = 0;  // ms
  double cpu = 0;   // ms of CPU of the busiest thread: the wall time on idle cores
};

// The time to judge every line with `judge` on `threads` threads; the lines
// it passes in `*passed`.
template <class Judge>
STimes Run(const std::string& lines, int threads, const Judge& judge, std::size_t* passed) {
  const std::size_t count = lines.size() / kWidth;
  std::atomic<std::size_t> total{0};
  std::vector<double> cpu(std::size_t(threads), 0.0);
  QElapsedTimer timer;
  timer.start();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      const double start = ThreadCpuMs();
      std::size_t hits = 0;
      for (std::size_t i = count * std::size_t(t) / std::size_t(threads);
           i < count * std::size_t(t + 1) / std::size_t(threads); ++i)
        hits += judge(QLatin1StringView(lines.data() + i * kWidth, qsizetype(kWidth))) ? 1 : 0;
      total += hits;
      cpu[std::size_t(t)] = ThreadCpuMs() - start;
    });
  for (std::thread& thread : pool) thread.join();
  *passed = total;
  return {double(timer.nsecsElapsed()) / 1e6, *std::max_element(cpu.begin(), cpu.end())};
}

template <class Judge>
void Report(const char* what, const std::string& lines, int rounds, const Judge& judge) {
  std::vector<STimes> one, two;
  std::size_t passed = 0;
  for (int r = 0; r < rounds; ++r) {
    one.push_back(Run(lines, 1, judge, &passed));
    two.push_back(Run(lines, 2, judge, &passed));
  }
  const auto median = [](std::vector<STimes> v, double STimes::*field) {
    std::sort(v.begin(), v.end(), [field](const STimes& a, const STimes& b) { return a.*field < b.*field; });
    return v[v.size() / 2].*field;
  };
  std::printf("| %s | %zu | %.0f (%.0f) | %.0f (%.0f) |\n", what, passed, median(one, &STimes::wall),
              median(one, &STimes::cpu), median(two, &STimes::wall), median(two, &STimes::cpu));
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string lines = MakeLines(count);
  std::printf("%zu lines of %zu characters, median of %d rounds\n\n", count, kWidth, rounds);
  std::printf(
      "| filter | lines passed | ms, 1 thread (CPU) | ms, 2 threads (CPU of the busier) |\n|---|---|---|---|\n");

  const zef::CTextMatcher absent(u"timeout", false);
  Report("substring `timeout` (in no line)", lines, rounds, [&](QLatin1StringView l) { return absent.Matches(l); });
  const zef::CTextMatcher rare(u"item 4242", false);
  Report("substring `item 4242`", lines, rounds, [&](QLatin1StringView l) { return rare.Matches(l); });
  const zef::CTextMatcher regex(u"time9[0-9]ms", true);
  Report("regex `time9[0-9]ms`", lines, rounds, [&](QLatin1StringView l) { return regex.Matches(l); });
  const zef::CTextMatcher anchored(u"^(Load|Save).*step 1[01] ", true);
  Report("regex `^(Load|Save).*step 1[01] `", lines, rounds, [&](QLatin1StringView l) { return anchored.Matches(l); });
  const zef::CBarQuery query = zef::CBarQuery::Parse(u"load -parse step re:time[1-3]ms");
  Report("bar `load -parse step re:time[1-3]ms`", lines, rounds,
         [&](QLatin1StringView l) { return query.Matches(l, {}); });

  // What intake pays per line: the judge with five rules, sender words
  // included, against none.
  zef::CLineJudge none;
  zef::CLineJudge five([](std::uint32_t) { return QStringLiteral("worker[31]"); });
  using zef::EFilterAction;
  five.SetRules({{QStringLiteral("Close"), false, QString(), EFilterAction::Hide, 0},
                 {QStringLiteral("time9[0-9]ms"), true, QString(), EFilterAction::Highlight, 1},
                 {QStringLiteral("queue 63"), false, QString(), EFilterAction::Drop, 0},
                 {QString(), false, QStringLiteral("db["), EFilterAction::Hide, 0},
                 {QStringLiteral("Load"), false, QString(), EFilterAction::ShowOnly, 0}});
  Report("judge, no rule", lines, rounds, [&](QLatin1StringView l) { return none.Judge(l, 1).bShown; });
  Report("judge, five rules", lines, rounds, [&](QLatin1StringView l) { return five.Judge(l, 1).bShown; });

  std::printf(
      "\nPatterns that backtrack for ever elsewhere, one line each:\n\n| pattern | line | ms |\n|---|---|---|\n");
  const struct {
    const char16_t* pattern;
    char16_t fill;
  } hard[] = {{u"(a*)*b", u'a'}, {u"(x+x+)+y", u'x'}, {u"(a|aa)+$b", u'a'}, {u"(.*a){20}", u'a'}};
  for (const auto& h : hard) {
    const zef::CTextMatcher matcher(h.pattern, true);
    for (qsizetype length : {qsizetype(60), qsizetype(1000000)}) {
      const QString line(length, QChar(h.fill));
      QElapsedTimer timer;
      timer.start();
      const bool hit = matcher.Matches(line);
      std::printf("| `%s` | %lld × `%c`%s | %.3f |\n", qPrintable(QString::fromUtf16(h.pattern)),
                  static_cast<long long>(length), char(h.fill), hit ? " (matches)" : "",
                  double(timer.nsecsElapsed()) / 1e6);
    }
  }
  return 0;
}
