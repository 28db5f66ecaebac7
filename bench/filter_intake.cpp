// Lines taken in by the monitor with no filter rule and with five (a
// highlight, a hide, a regular expression, a sender and a drop rule that
// match none of the lines, so that every line is judged by all five), in
// alternating rounds through CMainFrame::AppendLine (quick draw on).
// Usage: QT_QPA_PLATFORM=offscreen bench_filter_intake [lines] [rounds]
#include "bench/linemaker.h"
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"

#include <QApplication>

using namespace zef;
using namespace zef::bench;

namespace {

void SetRules(CMainFrame& frame, std::vector<SFilterRule> rules) {
  frame.Settings().filters.m_vRules = std::move(rules);
  frame.ExchangeSettings(DataDirection::FromControls);
  frame.ExchangeSettings(DataDirection::ToControls);  // applies them as a start-up does
}

double LinesPerSecond(CMainFrame& frame, CLineMaker& maker, int lines) {
  frame.GetList().ResetContent();
  const double ms = TimeMs([&] {
    for (int i = 0; i < lines; ++i) frame.AppendLine(maker.Line(i));
  });
  return lines / ms * 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  frame.resize(900, 700);
  frame.show();
  CLineMaker maker;
  const std::vector<SFilterRule> five = {
      {QStringLiteral("timeout"), false, {}, EFilterAction::Highlight, 1},
      {QStringLiteral("debug"), false, {}, EFilterAction::Hide, 0},
      {QStringLiteral("time[0-9]+ms"), true, {}, EFilterAction::Hide, 0},
      {{}, false, QStringLiteral("worker"), EFilterAction::Highlight, 2},
      {QStringLiteral("heartbeat"), false, {}, EFilterAction::Drop, 0},
  };
  std::vector<double> none;
  std::vector<double> ruled;
  std::vector<double> ratios;
  for (int r = 0; r < rounds; ++r) {
    SetRules(frame, {});
    none.push_back(LinesPerSecond(frame, maker, lines));
    SetRules(frame, five);
    ruled.push_back(LinesPerSecond(frame, maker, lines));
    ratios.push_back(ruled.back() / none.back());
  }
  std::printf("%d lines through CMainFrame::AppendLine, %d alternating rounds, medians\n", lines, rounds);
  std::printf("no rule:     %10.0f lines/s\n", Median(none));
  std::printf("five rules:  %10.0f lines/s  (%.2f of no rule, median of the rounds' ratios)\n", Median(ruled),
              Median(ratios));
  return 0;
}
