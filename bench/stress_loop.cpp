// The blocking stress loop (Stress > Loop) through the main frame, shown
// offscreen, with Delay 0:
//
//   bench_stress_loop [lines] [rounds]     (defaults 1000000 and 5)
//
// Figures, medians of alternating rounds (the machine's load drifts):
// lines per second with logging off, quick draw on and off; with logging on
// (quick draw on), beside a bare open-append-close of the same records into
// a file in the same directory, and the ratio of the two; and the log file's
// own AppendToLogFile without the list, to tell where the time goes.
#include "shell/app.h"
#include "shell/mainframe.h"
#include "monitor/logfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Lines per second of one run of the loop; the list is emptied afterwards.
double RunLoop(zef::CMainFrame& frame, int lines) {
  QElapsedTimer timer;
  timer.start();
  frame.OnCmdMsg(zef::CommandId::Loop);
  const double seconds = double(timer.nsecsElapsed()) / 1e9;
  frame.GetList().ResetContent();
  QCoreApplication::processEvents();
  return lines / seconds;
}

// The same records as the loop writes to its log, each opened, appended
// and closed as the log is, with nothing else around it.
double RunBareAppend(const QByteArray& path, int lines) {
  QElapsedTimer timer;
  timer.start();
  auto write = [&](const std::string& record) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    if (::write(fd, record.data(), record.size()) != ssize_t(record.size())) std::abort();
    ::close(fd);
  };
  write("Before stress loop ...\r\n");
  for (int i = 0; i < lines; ++i) write("  loopindex=" + std::to_string(i) + "\r\n");
  write("After stress loop\r\n");
  return lines / (double(timer.nsecsElapsed()) / 1e9);
}

// The log file alone: the monitor's AppendToLogFile for the same lines,
// without the list.
double RunLogFileOnly(const QString& path, int lines) {
  QElapsedTimer timer;
  timer.start();
  const QString prefix = QStringLiteral("  loopindex=");
  for (int i = 0; i < lines; ++i) zef::AppendToLogFile(path, prefix + QString::number(i));
  return lines / (double(timer.nsecsElapsed()) / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::stoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;

  zef::CQrbWinApp app(std::make_unique<zef::CProfile>(dir.filePath(QStringLiteral("ZEFMON.conf"))));
  QString error;
  if (!app.InitInstance(&error)) qFatal("main window: %s", qPrintable(error));
  zef::CMainFrame& frame = *app.GetMainWnd();
  frame.resize(900, 700);
  QCoreApplication::processEvents();

  zef::CSettingsRecord& settings = frame.Settings();
  settings.loop.m_nLoopCount = lines;
  settings.loop.m_nLoopDelay = 0;
  const QString loopLog = dir.filePath(QStringLiteral("loop.log"));
  const QByteArray bareLog = QFile::encodeName(dir.filePath(QStringLiteral("bare.log")));

  std::vector<double> quickOn, quickOff, logged, bare, logOnly;
  for (int round = 0; round < rounds; ++round) {
    settings.monitor.m_bLogToFile = false;
    settings.monitor.m_bQuickDraw = true;
    quickOn.push_back(RunLoop(frame, lines));
    settings.monitor.m_bQuickDraw = false;
    quickOff.push_back(RunLoop(frame, lines));

    // Logged and bare take turns at going first, so that neither always
    // meets the other's file in the cache.
    settings.monitor.m_bQuickDraw = true;
    settings.monitor.m_bLogToFile = true;
    settings.monitor.m_strLogFile = loopLog;
    if (round % 2 != 0) bare.push_back(RunBareAppend(bareLog, lines));
    logged.push_back(RunLoop(frame, lines));
    if (round % 2 == 0) bare.push_back(RunBareAppend(bareLog, lines));
    QFile::remove(loopLog);
    logOnly.push_back(RunLogFileOnly(loopLog, lines));
    QFile::remove(loopLog);
    QFile::remove(QFile::decodeName(bareLog));
  }

  std::printf("blocking loop, Count %d, Delay 0, %d rounds, medians (lines/s)\n", lines, rounds);
  std::printf("  logging off, quick draw on : %12.0f\n", Median(quickOn));
  std::printf("  logging off, quick draw off: %12.0f\n", Median(quickOff));
  std::printf("  logging on,  quick draw on : %12.0f\n", Median(logged));
  std::printf("  bare open-append-close     : %12.0f\n", Median(bare));
  std::printf("  logging on / bare          : %12.2f\n", Median(logged) / Median(bare));
  std::printf("  AppendToLogFile alone      : %12.0f\n", Median(logOnly));
  return 0;
}
