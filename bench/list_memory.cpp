// What the line store holds per line, and what reading it back costs, for
// the benchmarks' 60-character trace line and for a real build log.
//
//   bench_list_memory [lines] [build log file]     (default 10000000 lines)
//
// Each input is appended `lines` times (the log's lines over and over),
// stamped as the monitor stamps: the time of day, one of eight senders, a
// span on every third line. Figures: appends per second (best of three
// fills after the first), resident bytes per held line (RSS before and
// after, malloc_trim on both sides) beside the bytes the store counts
// (MemoryUsed), Find of a needle that is nowhere down the whole store and
// up it, case-sensitive and not, and reading lines of segments not read
// lately: one line, and a screen of 50 lines as a scroll by one line into
// such a segment paints them. Last, RSS after Clear against the fresh
// store's.
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

#include "bench/linemaker.h"
#include "platform/listbox/linestore.h"

namespace {

long TrimmedResidentBytes() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

double Ms(const std::function<void()>& work) {
  QElapsedTimer timer;
  timer.start();
  work();
  return double(timer.nsecsElapsed()) / 1e6;
}

// Line i of an input.
using LineSource = std::function<const QString&(int)>;

void Fill(zef::CLineStore& store, int lines, const LineSource& line) {
  const std::int64_t start = 1'765'000'000'000'000;  // a day in 2025, in us
  for (int i = 0; i < lines; ++i)
    store.Append(line(i), 0, {start + i * 50, std::uint32_t(1 + i % 8), i % 3 == 2 ? 120 + i % 1000 : -1});
}

void Measure(const char* name, int lines, const LineSource& line) {
  std::printf("\n%s, %d lines\n", name, lines);
  const long fresh = TrimmedResidentBytes();
  {
    zef::CLineStore store;
    double best = 1e300;
    for (int round = 0; round < 4; ++round) {
      store.Clear();
      const double ms = Ms([&] { Fill(store, lines, line); });
      if (round > 0) best = std::min(best, ms);
    }
    const long held = TrimmedResidentBytes();
    std::printf("  append          %10.0f lines/s (best of 3)\n", lines / best * 1e3);
    std::printf("  resident        %10.1f B/line (store counts %.1f)\n", double(held - fresh) / lines,
                double(store.MemoryUsed()) / lines);

    const QString needle = QStringLiteral("no such needle");
    std::printf("  Find down       %10.1f ms case-sensitive, %.1f ms not\n",
                Ms([&] { store.Find(0, 1, needle, Qt::CaseSensitive); }),
                Ms([&] { store.Find(0, 1, needle, Qt::CaseInsensitive); }));
    std::printf("  Find up         %10.1f ms case-sensitive\n",
                Ms([&] { store.Find(store.Count() - 1, -1, needle, Qt::CaseSensitive); }));

    // Segments far apart, each read the first time since the walks above.
    constexpr int kReads = 20;
    constexpr int kScreen = 50;
    std::size_t sum = 0;
    const int stride = std::max(1, (lines - kScreen) / (2 * kReads + 1));
    const double one = Ms([&] {
      for (int r = 0; r < kReads; ++r) sum += std::size_t(store.Line((2 * r + 1) * stride).text.size());
    });
    const double screen = Ms([&] {
      for (int r = 0; r < kReads; ++r)
        for (int k = 0; k < kScreen; ++k) sum += std::size_t(store.Line((2 * r + 2) * stride + k).text.size());
    });
    std::printf("  cold read       %10.3f ms a line, %.3f ms a screen of %d (%zu)\n", one / kReads, screen / kReads,
                kScreen, sum % 10);
    store.Clear();
    const long cleared = TrimmedResidentBytes();
    std::printf("  after Clear     %10.1f MB resident, fresh store %.1f MB (%+.1f%%)\n", cleared / 1e6, fresh / 1e6,
                100.0 * double(cleared - fresh) / double(fresh));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10'000'000;
  zef::bench::CLineMaker maker;
  Measure("60-character trace lines", lines, [&](int i) -> const QString& { return maker.Line(i); });
  if (argc > 2) {
    QFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "cannot read %s\n", argv[2]);
      return 1;
    }
    std::vector<QString> log;
    while (!file.atEnd()) {
      QByteArray text = file.readLine();
      while (text.endsWith('\n') || text.endsWith('\r')) text.chop(1);
      log.push_back(QString::fromUtf8(text));
    }
    if (log.empty()) return 1;
    std::printf("\nbuild log %s: %zu lines, repeated\n", argv[2], log.size());
    Measure("build log", lines, [&](int i) -> const QString& { return log[std::size_t(i) % log.size()]; });
  }
  return 0;
}
