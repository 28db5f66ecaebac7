// Lines that only ever nest deeper against plain lines, through the whole
// monitor path (CMainFrame::AppendLine, quick draw on, the window shown
// offscreen), one line per event-loop pass as trace clients deliver them.
//
//   bench_list_depth [lines] [rounds]      (default 20000, 5)
//
// Rounds alternate between the kinds (the machine's load drifts); each
// round starts from an empty list at depth 0. Figures are medians: lines/s,
// and the growth of resident memory over the round (malloc_trim on both
// sides). A third pair: an indent string of 200,000 characters, one '{',
// then 499 lines, against the same 500 lines with the usual indent.
#include "shell/app.h"
#include "shell/mainframe.h"
#include "platform/system/profile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace zef;

namespace {

long TrimmedResidentBytes() {
  QCoreApplication::processEvents();
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Round {
  double linesPerSec = 0;
  double growthMB = 0;
};

// `first` once, then `line` until `count` lines are in; from an empty list
// at depth 0 with the indent string `indent`.
Round Run(CMainFrame& frame, const QString& indent, const QString& first, const QString& line, int count) {
  CMonitorList& list = frame.GetList();
  list.ResetContent();
  list.ResetNesting();
  list.SetIndent(indent);
  const long before = TrimmedResidentBytes();
  QElapsedTimer timer;
  timer.start();
  frame.AppendLine(first);
  QCoreApplication::processEvents();
  for (int i = 1; i < count; ++i) {
    frame.AppendLine(line);
    QCoreApplication::processEvents();
  }
  Round round;
  round.linesPerSec = count / (double(timer.nsecsElapsed()) / 1e9);
  round.growthMB = double(TrimmedResidentBytes() - before) / (1024.0 * 1024.0);
  return round;
}

void Report(const char* name, const std::vector<Round>& rounds) {
  std::vector<double> rates, growth;
  for (const Round& r : rounds) {
    rates.push_back(r.linesPerSec);
    growth.push_back(r.growthMB);
  }
  std::printf("%-44s %12.0f %12.2f\n", name, Median(rates), Median(growth));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int count = argc > 1 ? std::stoi(argv[1]) : 20000;
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  CQrbWinApp app(std::make_unique<CProfile>(dir.filePath(QStringLiteral("ZEFMON.conf"))));
  QString error;
  if (!app.InitInstance(&error)) {
    std::fprintf(stderr, "main window: %s\n", qPrintable(error));
    return 1;
  }
  CMainFrame& frame = *app.GetMainWnd();
  frame.resize(900, 700);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

  const QString spaces = QStringLiteral("  ");
  const QString enter = QStringLiteral("f() {");
  const QString plain = QStringLiteral("f() .");
  const QString wideIndent(200000, u' ');
  std::vector<Round> plainRounds, deepRounds, usualRounds, wideRounds;
  for (int r = 0; r < rounds; ++r) {
    plainRounds.push_back(Run(frame, spaces, plain, plain, count));
    deepRounds.push_back(Run(frame, spaces, enter, enter, count));
    usualRounds.push_back(Run(frame, spaces, enter, plain, 500));
    wideRounds.push_back(Run(frame, wideIndent, enter, plain, 500));
  }
  std::printf("%d lines per round, %d rounds, medians; window 900x700 offscreen, quick draw on\n", count, rounds);
  std::printf("%-44s %12s %12s\n", "lines", "lines/s", "growth MB");
  Report("plain lines", plainRounds);
  Report("unbalanced 'f() {' lines (depth 0 .. n-1)", deepRounds);
  const double ratio = Median([&] {
    std::vector<double> r;
    for (int i = 0; i < rounds; ++i)
      r.push_back(deepRounds[std::size_t(i)].linesPerSec / plainRounds[std::size_t(i)].linesPerSec);
    return r;
  }());
  std::printf("rate of the unbalanced lines against the plain ones (median of the rounds' ratios): %.2f\n", ratio);
  Report("500 lines after one '{', indent of 2", usualRounds);
  Report("500 lines after one '{', indent of 200,000", wideRounds);

  frame.Settings().general.m_bAskBeforeClose = false;
  frame.close();
  return 0;
}
