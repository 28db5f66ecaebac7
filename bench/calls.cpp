// Call statistics over 1 M and 10 M held lines, and Export calls of 1 M
// lines with the memory it takes beyond what the list holds. Two senders
// interleave calls of 40 names nested three deep, a plain line in each
// call: a third of the lines enter a call, a third leave one.
//
//   QT_QPA_PLATFORM=offscreen bench_calls [rounds]   (default 5)
#include "bench/toolframe.h"
#include "monitor/callcommands.h"
#include "monitor/monitorlist.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace zef;
using zef::bench::Median;
using zef::bench::TimeMs;

namespace {

void Fill(CMonitorList& list, int lines) {
  std::int64_t now = 1'700'000'000'000'000;
  list.SetClock([&now] { return now += 7; });
  list.MeetSender(1, QStringLiteral("app[1]"));
  list.MeetSender(2, QStringLiteral("tool[2]"));
  QString enter[40];
  QString leave[40];
  for (int i = 0; i < 40; ++i) {
    enter[i] = QStringLiteral("Component%1::Handle() {").arg(i);
    leave[i] = QStringLiteral("} Component%1::Handle() (0)").arg(i);
  }
  const QString plain = QStringLiteral("value=42 state=ready text=a line of about sixty characters");
  // Per sender, three calls nested in one another, each with a plain line.
  for (int i = 0; list.GetCount() < lines; ++i) {
    const std::uint32_t sender = 1 + std::uint32_t(i % 2);
    const int name = (i / 2) % 40;
    for (int depth = 0; depth < 3; ++depth) list.AddLine(enter[(name + depth) % 40], sender);
    for (int depth = 2; depth >= 0; --depth) {
      list.AddLine(plain, sender);
      list.AddLine(leave[(name + depth) % 40], sender);
    }
  }
  list.SetClock({});
}

// Resident and peak resident kilobytes of this process.
long Status(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(field)) return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').front().toLong();
  return -1;
}

void Statistics(int lines, int rounds) {
  CMonitorList list;
  Fill(list, lines);
  std::vector<double> times;
  std::size_t rows = 0;
  for (int round = 0; round < rounds; ++round)
    times.push_back(TimeMs([&] {
      const CCallStatistics statistics = CallStatisticsOf(list, nullptr);
      rows = CallStatisticsLines(statistics.Result(), list.Senders(), QStringLiteral("all")).size();
    }));
  std::printf("call statistics over %d lines: %.1f ms (median of %d; %zu table lines)\n", list.GetCount(),
              Median(times), rounds, rows);
}

void Export(int lines, int rounds) {
  CMonitorList list;
  Fill(list, lines);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("run.json"));
  std::vector<double> times;
  long extra = 0;
  for (int round = 0; round < rounds; ++round) {
    // The peak is reset to what is resident now (Linux's clear_refs 5).
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly)) reset.write("5");
    reset.close();
    const long before = Status("VmRSS:");
    QString reason;
    times.push_back(TimeMs([&] {
      if (!ExportCalls(list, nullptr, path, &reason)) std::fprintf(stderr, "export: %s\n", qPrintable(reason));
    }));
    extra = std::max(extra, Status("VmHWM:") - before);
  }
  std::printf("export of %d lines: %.1f ms (median of %d), %.1f MB file, at most %.1f MB resident beyond the list\n",
              list.GetCount(), Median(times), rounds, double(QFileInfo(path).size()) / 1e6, double(extra) / 1024);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  Statistics(1'000'000, rounds);
  Statistics(10'000'000, rounds);
  Export(1'000'000, rounds);
  return 0;
}
