// Lines leaving the window and following new ones, on a full monitor:
// Copy of 100,000 selected lines, Save lines as of 1,000,000 (both with the
// gutter off and on), and the repaints while following lines that arrive at
// 100,000 a second.
//
//   QT_QPA_PLATFORM=offscreen bench_line_transfer [lines] [rounds]   (default 1000000 5)
#include "bench/toolframe.h"
#include "monitor/linetransfer.h"
#include "monitor/monitorlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

using namespace zef;
using zef::bench::TimeMs;

namespace {

// Counts the paints of the list's rows.
class CPaintCounter : public QObject {
 public:
  int m_nPaints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++m_nPaints;
    return false;
  }
};

void Fill(CMainFrame& frame, int lines) {
  QString line(60, u'x');
  for (int i = 0; i < lines; ++i) {
    line[0] = QChar(u'a' + i % 26);
    frame.AppendLine(line);
  }
  QCoreApplication::processEvents();
}

// Lines at `perSecond` for `seconds`, in a burst every millisecond as a
// busy client sends them; paints and the lines left out of view after.
void Follow(CMainFrame& frame, int perSecond, int seconds) {
  CMonitorList& list = frame.GetList();
  CPaintCounter counter;
  list.viewport()->installEventFilter(&counter);
  const int perMs = perSecond / 1000;
  const int total = perSecond * seconds;
  int sent = 0;
  QElapsedTimer clock;
  clock.start();
  QTimer feed;
  feed.setInterval(1);
  QObject::connect(&feed, &QTimer::timeout, [&] {
    const qint64 due = std::min<qint64>(total, clock.elapsed() * perMs);
    for (; sent < due; ++sent) frame.AppendLine(QStringLiteral("follow %1").arg(sent));
  });
  feed.start();
  while (sent < total) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  feed.stop();
  const double ms = double(clock.elapsed());
  // The last frame's catch-up.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 50) QCoreApplication::processEvents();
  int minPos = 0;
  int maxPos = 0;
  list.GetScrollRange(SB_VERT, &minPos, &maxPos);
  list.viewport()->removeEventFilter(&counter);
  std::printf(
      "following %d lines/s for %.2f s: %d paints, %.1f per second (one frame is 16 ms: 62.5), "
      "last line in view: %s\n",
      perSecond, ms / 1000, counter.m_nPaints, counter.m_nPaints * 1000.0 / ms,
      list.GetTopIndex() == maxPos ? "yes" : "no");
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  bench::CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  frame.resize(800, 600);
  frame.show();
  CMonitorList& list = frame.GetList();
  list.SetClock([] { return std::int64_t(1700000000) * 1000000; });
  Fill(frame, lines);
  std::printf("%d lines of 60 characters in the monitor\n\n", list.GetCount());

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saved.txt"));
  auto* transfer = frame.GetFeature<CLineTransfer>();
  transfer->SetFileNameAsker([&](QWidget*, const QString&) { return path; });
  const int copied = std::min(100000, lines);
  for (const bool gutter : {false, true}) {
    if (gutter != (list.Gutter() != CMonitorList::EGutter::kOff)) frame.OnCmdMsg(CommandId::ShowTimeAndSender);
    std::vector<double> copy;
    std::vector<double> save;
    for (int r = 0; r < rounds; ++r) {
      list.SetSel(false, -1);
      list.SelItemRange(true, 0, copied - 1);
      copy.push_back(TimeMs([&] { frame.OnCmdMsg(CommandId::CopyLines); }));
      list.SetSel(false, -1);
      save.push_back(TimeMs([&] { frame.OnCmdMsg(CommandId::SaveLinesAs); }));
    }
    const char* which = gutter ? "gutter on " : "gutter off";
    std::printf("%s: Copy of %d selected lines %.1f ms, Save of %d lines %.1f ms (%.1f MB) (median of %d)\n", which,
                copied, bench::Median(copy), list.GetCount(), bench::Median(save), double(QFileInfo(path).size()) / 1e6,
                rounds);
  }

  frame.OnCmdMsg(CommandId::ShowTimeAndSender);
  list.ResetContent();
  frame.OnCmdMsg(CommandId::Follow);
  Follow(frame, 100000, 2);
  return 0;
}
