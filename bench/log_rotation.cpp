// The log writer (CLogFile::Append) with rotation off and on, and the time
// one rotation takes:
//
//   bench_log_rotation [lines] [rounds]     (defaults 200000 and 5)
//
// Figures, medians of alternating rounds: records per second with rotation
// off, and with a new file every 1 MB keeping 5 old ones (one stat more per
// record, and the rotations themselves); then the time of one rotation with
// 5 and with 999 old files already there (every one is moved up by one).
#include "monitor/logfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Records per second of `lines` loop-like records into a new log.
double RunAppend(const QString& path, int lines, zef::SLogRotation rotation) {
  zef::CLogFile log([](const QString& message) { qFatal("%s", qPrintable(message)); });
  const QString prefix = QStringLiteral("  loopindex=");
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < lines; ++i) log.Append(path, prefix + QString::number(i), rotation);
  return lines / (double(timer.nsecsElapsed()) / 1e9);
}

// Milliseconds of one rotation with `keep` old files all there: the median
// of `count` appends that each start a new file.
double RunRotation(const QString& path, int keep, int count) {
  zef::CLogFile log([](const QString& message) { qFatal("%s", qPrintable(message)); });
  for (int k = 0; k <= keep; ++k) log.Append(path, QStringLiteral("old"), {1, keep});
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    QElapsedTimer timer;
    timer.start();
    log.Append(path, QStringLiteral("next"), {1, keep});
    ms.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  return Median(ms);
}

void RemoveLogs(const QString& dir) {
  for (const QString& name : QDir(dir).entryList(QDir::Files)) QFile::remove(dir + u'/' + name);
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::stoi(argv[1]) : 200000;
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.log"));

  std::vector<double> off, on;
  for (int round = 0; round < rounds; ++round) {
    // Taking turns at going first, so that neither always meets a warm cache.
    for (int turn = 0; turn < 2; ++turn) {
      const bool rotate = (turn + round) % 2 != 0;
      (rotate ? on : off).push_back(RunAppend(path, lines, {rotate ? qint64(1) << 20 : 0, 5}));
      RemoveLogs(dir.path());
    }
  }
  const double keep5 = RunRotation(path, 5, 50);
  RemoveLogs(dir.path());
  const double keep999 = RunRotation(path, 999, 9);
  RemoveLogs(dir.path());

  std::printf("log writer, %d records of about 20 bytes, %d rounds, medians\n", lines, rounds);
  std::printf("  rotation off                 : %10.0f records/s\n", Median(off));
  std::printf("  rotation at 1 MB, keep 5     : %10.0f records/s (%.3f of off)\n", Median(on),
              Median(on) / Median(off));
  std::printf("  one rotation, 5 old files    : %10.3f ms\n", keep5);
  std::printf("  one rotation, 999 old files  : %10.3f ms\n", keep999);
  return 0;
}
