// Find and Mark Block on a full monitor: the worst cases, where the search
// runs over every line without a match.
//
//   QT_QPA_PLATFORM=offscreen bench_line_commands [lines]   (default 1000000)
#include "bench/toolframe.h"
#include "monitor/monitorcommands.h"
#include "shell/app.h"
#include "shell/mainframe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace zef;
using zef::bench::TimeMs;

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
  QTemporaryDir dir;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  CQrbWinApp app(std::make_unique<CProfile>(dir.filePath(QStringLiteral("ZEFMON.conf"))));
  QString error;
  if (!app.InitInstance(&error)) return 1;
  CMainFrame& frame = *app.GetMainWnd();
  CMonitorList& list = frame.GetList();
  QCoreApplication::processEvents();

  // An enter line first, whose leave line never comes; then plain lines of
  // 60 characters, then a leave line whose enter line is not there.
  frame.AppendLine(QStringLiteral("NeverReturns() {"));
  QString line(60, u'x');
  for (int i = 1; i < lines - 1; ++i) {
    line[0] = QChar(u'a' + i % 26);
    frame.AppendLine(line);
  }
  frame.AppendLine(QStringLiteral("} Orphan()"));
  QCoreApplication::processEvents();
  std::printf("%d lines in the monitor\n\n", list.GetCount());
  std::printf("%-44s %10s\n", "operation (worst case)", "ms");

  // Find downward from the first line, no match, case-insensitive and case-sensitive.
  FINDREPLACE record;
  record.findWhat = QStringLiteral("absent text");
  frame.OnCmdMsg(CommandId::Find);
  for (const bool matchCase : {false, true}) {
    record.Flags = FR_FINDNEXT | FR_DOWN | (matchCase ? std::uint32_t(FR_MATCHCASE) : 0u);
    list.SetCaretIndex(0);
    const double ms = TimeMs([&] { frame.GetFeature<CMonitorCommands>()->OnFindReplace(&record); });
    std::printf("%-44s %10.2f\n", matchCase ? "Find down, match case, no match" : "Find down, any case, no match", ms);
  }
  record.Flags = FR_FINDNEXT;
  list.SetCaretIndex(list.GetCount() - 1);
  std::printf("%-44s %10.2f\n", "Find up, any case, no match",
              TimeMs([&] { frame.GetFeature<CMonitorCommands>()->OnFindReplace(&record); }));

  // Every line after the first is shown after one indent: a needle that
  // begins with indent characters may run from the indent into the text,
  // which is judged line by line.
  record.findWhat = QStringLiteral("  absent text");
  record.Flags = FR_FINDNEXT | FR_DOWN;
  list.SetCaretIndex(0);
  std::printf("%-44s %10.2f\n", "Find down from the indent, no match",
              TimeMs([&] { frame.GetFeature<CMonitorCommands>()->OnFindReplace(&record); }));

  // The searches alone, as Mark Block makes them.
  std::printf("%-44s %10.2f\n", "search up for the enter line, no match", TimeMs([&] {
                list.FindContaining(list.GetCount() - 2, -1, QStringLiteral("Orphan() {"), Qt::CaseSensitive);
              }));
  std::printf("%-44s %10.2f\n", "search down for the leave line, no match",
              TimeMs([&] { list.FindContaining(1, +1, QStringLiteral("} NeverReturns()"), Qt::CaseSensitive); }));

  // Mark Block from the unmatched enter line selects every line below it;
  // from the unmatched leave line it searches up to the first line.
  list.SetCaretIndex(0);
  double ms = TimeMs([&] { frame.OnCmdMsg(CommandId::MarkBlock); });
  std::printf("%-44s %10.2f   (%d lines selected)\n", "Mark Block down, no leave line", ms, list.GetSelCount());
  frame.OnCmdMsg(CommandId::UnmarkLines);
  list.SetCaretIndex(list.GetCount() - 1);
  ms = TimeMs([&] { frame.OnCmdMsg(CommandId::MarkBlock); });
  std::printf("%-44s %10.2f   (%d lines selected)\n", "Mark Block up, no enter line", ms, list.GetSelCount());
  std::printf("%-44s %10.2f\n", "Unmark Lines", TimeMs([&] { frame.OnCmdMsg(CommandId::UnmarkLines); }));

  frame.Settings().general.m_bAskBeforeClose = false;
  frame.close();
  return 0;
}
