// Appending, scrolling and painting a million trace lines: zef::CListBox
// against a plain QListWidget doing the same, and (when the shell is built)
// the whole monitor path through CMainFrame::AppendLine; all shown offscreen.
//
//   bench_list_append [lines]        (default 1000000)
//
// Figures: lines/s of the append loop (and with the posted layout work
// processed), resident bytes per line (RSS before/after, malloc_trim on both
// sides), scroll-to-end plus one synchronous repaint, one repaint at 1k and
// at the full count, and one more append + scroll-to-end + paint, once as
// the event loop paints it (only what changed) and once repainting the
// whole view.
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QScrollBar>
#include <QThread>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/listbox/listbox.h"

#include <QTemporaryDir>

#include "shell/app.h"
#include "shell/mainframe.h"
#include "platform/system/profile.h"

namespace {

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

long TrimmedResidentBytes() {
  QCoreApplication::processEvents();
  malloc_trim(0);
  return ResidentBytes();
}

// Line i: the index as a decimal number, then fixed text, 60 units in all,
// written into one buffer so that making lines costs next to nothing.
class CLineMaker {
 public:
  CLineMaker() : m_str(60, QLatin1Char('.')) {
    // No braces: the monitor path would nest (and indent) every line after one.
    const QString body = QStringLiteral(" ZEFMON_EnumProcesses() returned pid=1234 hwnd=0x0042 ok");
    for (int i = 0; i < body.size() && 10 + i < 60; ++i) m_str[10 + i] = body[i];
  }
  const QString& Line(int i) {
    for (int k = 9; k >= 0; --k, i /= 10) m_str[k] = QChar(u'0' + i % 10);
    return m_str;
  }

 private:
  QString m_str;
};

double Ms(qint64 ns) { return double(ns) / 1e6; }

template <typename F>
double TimeMs(F&& f, int repeat = 1) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < repeat; ++i) f();
  return Ms(timer.nsecsElapsed()) / repeat;
}

struct Figures {
  const char* name = "";
  double loopLinesPerSec = 0;
  double settledLinesPerSec = 0;
  double bytesPerLine = 0;
  double scrollEndRepaintMs = 0;
  double paintSmallMs = 0;
  double paintFullMs = 0;
  double oneMoreMs = 0;      // the pending update painted, as the event loop does
  double oneMoreFullMs = 0;  // the whole view repainted
};

// A list to measure: `create` makes and shows a fresh one, returning what
// keeps it alive and the scroll area that shows the lines.
struct Subject {
  std::function<std::pair<std::shared_ptr<void>, QAbstractScrollArea*>()> create;
  std::function<void(const QString&)> append;
  std::function<void()> scrollToEnd;
};

void Show(QWidget* w) {
  w->resize(900, 700);
  w->show();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

Figures Measure(const char* name, Subject subject, int count) {
  Figures f;
  f.name = name;
  CLineMaker maker;

  {  // paint cost with 1,000 lines
    const auto created = subject.create();
    QAbstractScrollArea* w = created.second;
    for (int i = 0; i < 1000; ++i) subject.append(maker.Line(i));
    subject.scrollToEnd();
    QCoreApplication::processEvents();
    f.paintSmallMs = TimeMs([&] { w->viewport()->repaint(); }, 50);
  }

  const long before = TrimmedResidentBytes();
  const auto created = subject.create();
  QAbstractScrollArea* w = created.second;
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < count; ++i) subject.append(maker.Line(i));
  const qint64 loopNs = timer.nsecsElapsed();
  QCoreApplication::processEvents();
  const qint64 settledNs = timer.nsecsElapsed();
  f.loopLinesPerSec = count / (double(loopNs) / 1e9);
  f.settledLinesPerSec = count / (double(settledNs) / 1e9);
  f.bytesPerLine = double(TrimmedResidentBytes() - before) / count;

  f.scrollEndRepaintMs = TimeMs([&] {
    subject.scrollToEnd();
    w->viewport()->repaint();
  });
  f.paintFullMs = TimeMs([&] { w->viewport()->repaint(); }, 50);
  int next = count;
  // The list paces its paints to the screen's refresh: each round starts a
  // frame after the last paint (outside the timing), so the paint that the
  // event loop then does is inside it.
  constexpr int kRounds = 50;
  qint64 oneMoreNs = 0;
  for (int round = 0; round < kRounds; ++round) {
    QThread::msleep(20);
    QCoreApplication::processEvents();
    QElapsedTimer oneMore;
    oneMore.start();
    subject.append(maker.Line(next++));
    subject.scrollToEnd();
    QCoreApplication::processEvents();
    oneMoreNs += oneMore.nsecsElapsed();
  }
  f.oneMoreMs = double(oneMoreNs) / kRounds / 1e6;
  f.oneMoreFullMs = TimeMs(
      [&] {
        subject.append(maker.Line(next++));
        subject.scrollToEnd();
        w->viewport()->repaint();
      },
      100);
  return f;
}

// Worst-case searches (no line matches) over `count` lines, and the
// per-character test over all of them.
void MeasureSearches(int count) {
  zef::CListBox list;
  CLineMaker maker;
  for (int i = 0; i < count; ++i) list.AddString(maker.Line(i));
  int found = 0;
  const double downSensitive =
      TimeMs([&] { found += list.FindContaining(0, 1, u"no such text", Qt::CaseSensitive); }, 5);
  const double downInsensitive =
      TimeMs([&] { found += list.FindContaining(0, 1, u"No Such \u00c9t\u00e9", Qt::CaseInsensitive); }, 5);
  const double upInsensitive =
      TimeMs([&] { found += list.FindContaining(count - 1, -1, u"zefmon_enumprocesses()x", Qt::CaseInsensitive); }, 5);
  const double contains = TimeMs([&] {
    for (int i = 0; i < count; ++i) found += list.LineContains(i, u'{');
  });
  std::printf("search of %d lines, no match (ms): case-sensitive down %.1f, case-insensitive down %.1f, "
              "case-insensitive up %.1f; LineContains over all %.1f (%d)\n",
              count, downSensitive, downInsensitive, upInsensitive, contains, found);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int count = argc > 1 ? std::stoi(argv[1]) : 1000000;

  zef::CListBox* list = nullptr;
  Subject ours{
      [&] {
        auto owned = std::make_shared<zef::CListBox>();
        list = owned.get();
        Show(list);
        return std::pair<std::shared_ptr<void>, QAbstractScrollArea*>(owned, list);
      },
      [&](const QString& line) { list->AddString(line); },
      [&] {
        int minPos = 0, maxPos = 0;
        list->GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
        list->SetScrollPos(zef::SB_VERT, maxPos, true);
        list->OnVScroll(zef::SB_BOTTOM);
      }};
  QListWidget* widget = nullptr;
  Subject theirs{
      [&] {
        auto owned = std::make_shared<QListWidget>();
        widget = owned.get();
        widget->setSelectionMode(QAbstractItemView::MultiSelection);
        widget->setUniformItemSizes(true);
        Show(widget);
        return std::pair<std::shared_ptr<void>, QAbstractScrollArea*>(owned, widget);
      },
      [&](const QString& line) { widget->addItem(line); },
      [&] { widget->scrollToBottom(); }};

  std::vector<Figures> rows{Measure("zef::CListBox", ours, count), Measure("QListWidget", theirs, count)};
  // The whole monitor path: indentation rules, extent, then the list; with
  // settings in a file of its own and quick draw on (the default).
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  zef::CMainFrame* frame = nullptr;
  Subject monitor{
      [&] {
        auto winApp = std::make_shared<zef::CQrbWinApp>(
            std::make_unique<zef::CProfile>(dir.filePath(QStringLiteral("ZEFMON.conf"))));
        QString error;
        if (!winApp->InitInstance(&error)) qFatal("main window: %s", qPrintable(error));
        frame = winApp->GetMainWnd();
        Show(frame);
        frame->GetList().ResetContent();
        return std::pair<std::shared_ptr<void>, QAbstractScrollArea*>(winApp, &frame->GetList());
      },
      [&](const QString& line) { frame->AppendLine(line); },
      [&] { frame->ScrollToEnd(); }};
  rows.push_back(Measure("CMainFrame", monitor, count));
  std::printf("%d lines of 60 ASCII characters, window 900x700 offscreen\n", count);
  std::printf("%-16s %11s %11s %7s %12s %9s %9s %9s %9s\n", "list", "append/s", "settled/s", "B/line",
              "end+paint ms", "paint 1k", "paint all", "one more", "+full");
  for (const Figures& r : rows)
    std::printf("%-16s %11.0f %11.0f %7.1f %12.3f %9.3f %9.3f %9.3f %9.3f\n", r.name, r.loopLinesPerSec,
                r.settledLinesPerSec, r.bytesPerLine, r.scrollEndRepaintMs, r.paintSmallMs, r.paintFullMs,
                r.oneMoreMs, r.oneMoreFullMs);
  MeasureSearches(count);
  std::printf("times in ms; 'one more': append + scroll to end + the pending paint; '+full': the same with\n"
              "the whole view repainted\n");
  return 0;
}
