// Filtering the list box's held lines: judging every held line again, a
// narrowing word judged over the shown lines only up to the repaint, and
// what a filter costs an append and in memory.
//
//   bench_list_filter [held lines] [narrowing lines] [rounds]   (default 10000000 1000000 3)
//
// Lines are 60 Latin-1 characters, a 10-digit number then fixed text. The
// filter is a case-insensitive substring search (CLineSearch) over each
// line's own text, read in place, as the filter bar's words are judged.
// Figures are the best of the rounds, in milliseconds.
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "bench/linemaker.h"
#include "platform/listbox/linesearch.h"
#include "platform/listbox/listbox.h"

namespace {

zef::CListBox::LineFilter Holding(const QString& needle) {
  auto search = std::make_shared<zef::CLineSearch>(needle, Qt::CaseInsensitive);
  return [search, kept = needle](const zef::SHeldLine& line) { return search->In(line.text); };
}

template <typename Work>
double BestMs(int rounds, const Work& work) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    QElapsedTimer timer;
    timer.start();
    work();
    best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
  }
  return best;
}

void Fill(zef::CListBox& list, int count) {
  zef::bench::CLineMaker maker;
  for (int i = 0; i < count; ++i) list.AddString(maker.Line(i));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int held = argc > 1 ? std::stoi(argv[1]) : 10'000'000;
  const int narrowHeld = argc > 2 ? std::stoi(argv[2]) : 1'000'000;
  const int rounds = argc > 3 ? std::stoi(argv[3]) : 3;
  std::printf("%u cores; lines of 60 Latin-1 characters; best of %d\n", std::thread::hardware_concurrency(), rounds);

  {
    zef::CListBox list;
    Fill(list, held);
    std::printf("\njudging %d held lines again (case-insensitive substring)\n", held);
    std::printf("%-26s %10s %10s\n", "word", "shown", "ms");
    // Few lines, every line, none: the search's cost and the listing's.
    for (const QString& word : {QStringLiteral("12345"), QStringLiteral("PID=1234"), QStringLiteral("zzz")}) {
      const double ms = BestMs(rounds, [&] { list.SetLineFilter(Holding(word)); });
      std::printf("%-26s %10d %10.1f\n", qPrintable(word), list.GetCount(), ms);
    }
    // What judging costs beside the search: a filter that reads nothing.
    const double ms = BestMs(rounds, [&] { list.SetLineFilter([](const zef::SHeldLine&) { return true; }); });
    std::printf("%-26s %10d %10.1f\n", "(no search, all shown)", list.GetCount(), ms);
    list.SetLineFilter({});
  }

  {
    // A word typed one character at a time: each narrowing judges only the
    // lines the previous word showed, then the view is painted.
    zef::CListBox list;
    list.resize(900, 700);
    list.show();
    Fill(list, narrowHeld);
    std::printf("\nnarrowing at %d held lines, to the repaint\n", narrowHeld);
    std::printf("%-26s %10s %10s\n", "word", "shown", "ms");
    const QString typed = QStringLiteral("returned pid");
    for (qsizetype length = 1; length <= 4; ++length) {
      const QString word = typed.left(length + 8);
      double best = 1e300;
      for (int r = 0; r < rounds; ++r) {
        list.SetLineFilter(Holding(typed.left(length + 7)));
        QElapsedTimer timer;
        timer.start();
        list.SetLineFilter(Holding(word), true);
        list.viewport()->repaint();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
      }
      std::printf("%-26s %10d %10.1f\n", qPrintable(word), list.GetCount(), best);
    }
    list.SetLineFilter({});
  }

  {
    // Appending with a filter set: each line judged on arrival.
    const int count = narrowHeld;
    zef::CListBox list;
    const double none = BestMs(rounds, [&] {
      list.ResetContent();
      Fill(list, count);
    });
    list.SetLineFilter(Holding(QStringLiteral("12345")));
    const double filtered = BestMs(rounds, [&] {
      list.ResetContent();
      Fill(list, count);
    });
    list.SetLineFilter(Holding(QStringLiteral("hwnd")));
    const std::size_t store = list.MemoryUsed();
    std::printf("\nappending %d lines: %.1f M/s without a filter, %.1f M/s judged on arrival\n", count,
                count / none / 1e3, count / filtered / 1e3);
    std::printf("every line shown: %.2f filter bytes per held line beside %.1f of the store\n",
                double(list.GetCount()) * 4 / count, double(store) / count);
  }
  return 0;
}
