// A followed file's lines per second: read and split alone, and into the
// monitor through CLineIntake::AddSourceLine (quick draw on), from a file of
// 60-byte lines read from its beginning, one bounded pass after another.
// Usage: QT_QPA_PLATFORM=offscreen bench_file_follow [lines] [rounds]
#include "bench/linemaker.h"
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"
#include "platform/window/peer.h"
#include "sources/filefollow.h"

#include <QApplication>

using namespace zef;
using namespace zef::bench;

namespace {

double LinesPerSecond(const QString& path, int lines, const CFileFollow::LineSink& sink, int* taken) {
  *taken = 0;
  CFileFollow follow(path, sink, [](const QString&) {});
  return lines / TimeMs([&] {
           follow.Start(true);
           while (*taken < lines) follow.Pass();
         }) *
         1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  frame.Settings().monitor.m_bQuickDraw = true;
  frame.resize(900, 700);
  frame.show();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("app.log"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    CLineMaker maker;
    for (int i = 0; i < lines; ++i) file.write(maker.Line(i).toUtf8() + '\n');
  }
  int taken = 0;
  std::vector<double> alone;
  std::vector<double> monitor;
  const QString label = CFileFollow::LabelFor(path);
  for (int r = 0; r < rounds; ++r) {
    alone.push_back(LinesPerSecond(
        path, lines, [&](const QString&) { ++taken; }, &taken));
    frame.GetList().ResetContent();
    monitor.push_back(LinesPerSecond(
        path, lines,
        [&](const QString& line) {
          frame.Intake().AddSourceLine(line, kFirstSourceId, label);
          ++taken;
        },
        &taken));
  }
  std::printf("%d lines of 60 bytes from a followed file, %d rounds, medians\n", lines, rounds);
  std::printf("read and split:       %10.0f lines/s\n", Median(alone));
  std::printf("into the monitor:     %10.0f lines/s\n", Median(monitor));
  return 0;
}
