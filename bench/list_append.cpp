// Appending, scrolling and painting a million trace lines: zef::CListBox
// against a plain QListWidget doing the same, and (when the shell is built)
// the whole monitor path through CMainFrame::AppendLine; all shown offscreen.
//
//   bench_list_append [lines]        (default 1000000)
//
// The zef::CListBox row stamps every line as the monitor does: a read of
// the system clock, a sender id, and on every third line (a leave line) a
// call's duration; a second row appends the same lines without stamps.
//
// Figures: lines/s of the append loop (and with the posted layout work
// processed), resident bytes per line (RSS before/after, malloc_trim on both
// sides) and the bytes the line store itself holds, scroll-to-end plus one
// synchronous repaint, one repaint at 1k and at the full count (for
// zef::CListBox also with a gutter of three columns, time, duration and
// sender, whose texts are formatted for each painted row), and one more
// append + scroll-to-end + paint, once as the event loop paints it (only
// what changed) and once repainting the whole view.
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QScrollBar>
#include <QThread>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/linemaker.h"
#include "platform/listbox/listbox.h"

#include <QTemporaryDir>

#include "shell/app.h"
#include "shell/mainframe.h"
#include "platform/system/profile.h"

namespace {

using zef::bench::CLineMaker;

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

// The gutter the monitor is to show: time of day to the microsecond, the
// call's duration on a leave line, the sender; formatted per painted row.
class CBenchGutter final : public zef::IListGutter {
 public:
  explicit CBenchGutter(const zef::CListBox* list) : m_pList(list) {}
  std::vector<SColumn> Columns() const override {
    return {{QStringLiteral("00:00:00.000000"), false},
            {QStringLiteral("99999.999 ms"), true},
            {QStringLiteral("zeftrace_demo[4194304]"), false}};
  }
  void RowTexts(int index, std::vector<QString>& texts) const override {
    const zef::SLineStamp stamp = m_pList->GetStamp(index);
    const std::time_t seconds = std::time_t(stamp.nTime / 1000000);
    std::tm local{};
    localtime_r(&seconds, &local);
    texts[0] =
        QString::asprintf("%02d:%02d:%02d.%06d", local.tm_hour, local.tm_min, local.tm_sec, int(stamp.nTime % 1000000));
    texts[1] = stamp.nSpan < 0 ? QString() : QString::asprintf("%.3f ms", double(stamp.nSpan) / 1000);
    texts[2] = QString::asprintf("zeftrace_demo[%u]", 4000 + stamp.nSender);
  }

 private:
  const zef::CListBox* m_pList;
};

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

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
  double storeBytesPerLine = -1;  // what the line store counts; -1: not ours
  double scrollEndRepaintMs = 0;
  double paintSmallMs = 0;
  double paintFullMs = 0;
  double paintSmallGutterMs = -1;  // -1: no gutter to show
  double paintFullGutterMs = -1;
  double oneMoreMs = 0;      // the pending update painted, as the event loop does
  double oneMoreFullMs = 0;  // the whole view repainted
};

// A list to measure: `create` makes and shows a fresh one, returning what
// keeps it alive and the scroll area that shows the lines.
struct Subject {
  std::function<std::pair<std::shared_ptr<void>, QAbstractScrollArea*>()> create;
  std::function<void(const QString&)> append;
  std::function<void()> scrollToEnd;
  std::function<void(bool)> showGutter;     // empty: the list has none
  std::function<std::size_t()> storeBytes;  // empty: not our line store
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
    if (subject.showGutter) {
      subject.showGutter(true);
      f.paintSmallGutterMs = TimeMs([&] { w->viewport()->repaint(); }, 50);
      subject.showGutter(false);
    }
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
  if (subject.storeBytes) f.storeBytesPerLine = double(subject.storeBytes()) / count;

  f.scrollEndRepaintMs = TimeMs([&] {
    subject.scrollToEnd();
    w->viewport()->repaint();
  });
  f.paintFullMs = TimeMs([&] { w->viewport()->repaint(); }, 50);
  if (subject.showGutter) {
    subject.showGutter(true);
    f.paintFullGutterMs = TimeMs([&] { w->viewport()->repaint(); }, 50);
    subject.showGutter(false);
  }
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

// The list's own append cost, stamped and not, without the making of lines
// and the calls through Subject that the table's rows include: one line
// appended `count` times to a shown list, best of three rounds.
void MeasureBareAppends(int count) {
  const QString line = CLineMaker().Line(0);
  double best[2] = {0, 0};
  for (int round = 0; round < 3; ++round)
    for (int stamped = 0; stamped < 2; ++stamped) {
      zef::CListBox list;
      Show(&list);
      QElapsedTimer timer;
      timer.start();
      if (stamped) {
        for (int i = 0; i < count; ++i)
          list.AddIndentedString(line, 0, {NowMicroseconds(), std::uint32_t(i % 4), i % 3 == 2 ? 5000 : -1});
      } else {
        for (int i = 0; i < count; ++i) list.AddString(line);
      }
      best[stamped] = std::max(best[stamped], count / (double(timer.nsecsElapsed()) / 1e9));
    }
  std::printf("zef::CListBox alone, best of 3 (appends/s): stamped with a clock read %.0f, unstamped %.0f\n", best[1],
              best[0]);
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
  std::printf(
      "search of %d lines, no match (ms): case-sensitive down %.1f, case-insensitive down %.1f, "
      "case-insensitive up %.1f; LineContains over all %.1f (%d)\n",
      count, downSensitive, downInsensitive, upInsensitive, contains, found);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int count = argc > 1 ? std::stoi(argv[1]) : 1000000;

  zef::CListBox* list = nullptr;
  std::unique_ptr<CBenchGutter> gutter;
  // Lines 3k, 3k+1, 3k+2: an enter line, a plain one, the leave line.
  int appended = 0;
  std::int64_t enterTime = 0;
  const auto createOurs = [&] {
    auto owned = std::make_shared<zef::CListBox>();
    list = owned.get();
    gutter = std::make_unique<CBenchGutter>(list);
    appended = 0;
    Show(list);
    return std::pair<std::shared_ptr<void>, QAbstractScrollArea*>(owned, list);
  };
  const auto scrollOursToEnd = [&] {
    int minPos = 0, maxPos = 0;
    list->GetScrollRange(zef::SB_VERT, &minPos, &maxPos);
    list->SetScrollPos(zef::SB_VERT, maxPos, true);
    list->OnVScroll(zef::SB_BOTTOM);
  };
  const auto showOurGutter = [&](bool on) {
    list->SetGutter(on ? gutter.get() : nullptr);
    QCoreApplication::processEvents();
  };
  const auto ourStoreBytes = [&] { return list->MemoryUsed(); };
  Subject ours{createOurs,
               [&](const QString& line) {
                 const std::int64_t now = NowMicroseconds();
                 const int phase = appended++ % 3;
                 if (phase == 0) enterTime = now;
                 // Lines come here far faster than from a traced program, whose
                 // calls take a millisecond or more: spans as long as those
                 // need their full 32 bits.
                 const std::int64_t span = phase == 2 ? now - enterTime + 1000 : -1;
                 list->AddIndentedString(line, 0, {now, std::uint32_t(appended % 4), span});
               },
               scrollOursToEnd, showOurGutter, ourStoreBytes};
  Subject unstamped{createOurs, [&](const QString& line) { list->AddString(line); }, scrollOursToEnd, showOurGutter,
                    ourStoreBytes};
  QListWidget* widget = nullptr;
  Subject theirs{[&] {
                   auto owned = std::make_shared<QListWidget>();
                   widget = owned.get();
                   widget->setSelectionMode(QAbstractItemView::MultiSelection);
                   widget->setUniformItemSizes(true);
                   Show(widget);
                   return std::pair<std::shared_ptr<void>, QAbstractScrollArea*>(owned, widget);
                 },
                 [&](const QString& line) { widget->addItem(line); },
                 [&] { widget->scrollToBottom(); },
                 {},
                 {}};

  std::vector<Figures> rows{Measure("zef::CListBox", ours, count), Measure("  no stamps", unstamped, count),
                            Measure("QListWidget", theirs, count)};
  // The whole monitor path: indentation rules, extent, then the list; with
  // settings in a file of its own and quick draw on (the default).
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  zef::CMainFrame* frame = nullptr;
  Subject monitor{[&] {
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
                  [&] { frame->ScrollToEnd(); },
                  {},
                  {}};
  rows.push_back(Measure("CMainFrame", monitor, count));
  std::printf("%d lines of 60 ASCII characters, window 900x700 offscreen\n", count);
  const auto optional = [](double value, const char* format) {
    return value < 0 ? std::string("-") : QString::asprintf(format, value).toStdString();
  };
  std::printf("%-16s %11s %11s %7s %7s %12s %9s %9s %9s %9s %9s %9s\n", "list", "append/s", "settled/s", "B/line",
              "store", "end+paint ms", "paint 1k", "+gutter", "paint all", "+gutter", "one more", "+full");
  for (const Figures& r : rows)
    std::printf("%-16s %11.0f %11.0f %7.1f %7s %12.3f %9.3f %9s %9.3f %9s %9.3f %9.3f\n", r.name, r.loopLinesPerSec,
                r.settledLinesPerSec, r.bytesPerLine, optional(r.storeBytesPerLine, "%.1f").c_str(),
                r.scrollEndRepaintMs, r.paintSmallMs, optional(r.paintSmallGutterMs, "%.3f").c_str(), r.paintFullMs,
                optional(r.paintFullGutterMs, "%.3f").c_str(), r.oneMoreMs, r.oneMoreFullMs);
  MeasureBareAppends(count);
  MeasureSearches(count);
  std::printf(
      "times in ms; 'store': bytes per line the line store holds; paint '+gutter': the same paint with\n"
      "a gutter of time, duration and sender; 'one more': append + scroll to end + the pending paint;\n"
      "'+full': the same with the whole view repainted\n");
  return 0;
}
