// Folding and unfolding a call of 1 M lines through the list's keys, to the
// repaint, in a list of 2 M held lines: with every line shown, and under a
// filter that shows every line (so the lines shown again are judged). The
// fold by key includes finding the leave line; the fold with the leave line
// given is what hiding the lines and the repaint cost.
//
//   QT_QPA_PLATFORM=offscreen bench_fold [rounds]   (default 5)
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"

#include <QApplication>
#include <QKeyEvent>

using namespace zef;
using zef::bench::CToolFrame;
using zef::bench::Median;
using zef::bench::TimeMs;

namespace {

constexpr int kBefore = 500'000;
constexpr int kInner = 1'000'000;
constexpr int kAfter = 500'000;

void Fill(CMonitorList& list) {
  const QString plain = QStringLiteral("value=42 state=ready text=a line of about sixty characters");
  for (int i = 0; i < kBefore; ++i) list.AddLine(plain, CSenders::kSelf);
  list.AddLine(QStringLiteral("Session::Run() {"), CSenders::kSelf);
  for (int i = 0; i < kInner; ++i) list.AddLine(plain, CSenders::kSelf);
  list.AddLine(QStringLiteral("} Session::Run()"), CSenders::kSelf);
  for (int i = 0; i < kAfter; ++i) list.AddLine(plain, CSenders::kSelf);
}

void Press(CMonitorList& list, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, text == QStringLiteral("-") ? Qt::Key_Minus : Qt::Key_Plus, Qt::NoModifier, text);
  QApplication::sendEvent(&list, &press);
  list.viewport()->repaint();
}

void Measure(CMonitorList& list, const char* what, int rounds) {
  std::vector<double> fold;
  std::vector<double> hide;
  std::vector<double> unfold;
  for (int round = 0; round < rounds; ++round) {
    // The leave line given: what hiding the lines and the repaint cost.
    hide.push_back(TimeMs([&] {
      list.FoldCalls({{kBefore, kBefore + kInner + 1}});
      list.viewport()->repaint();
    }));
    list.UnfoldAll();
    list.SetCaretIndex(kBefore);
    list.SetTopIndex(kBefore);
    fold.push_back(TimeMs([&] { Press(list, QStringLiteral("-")); }));
    if (!list.IsFolded(kBefore)) std::fprintf(stderr, "not folded\n");
    unfold.push_back(TimeMs([&] { Press(list, QStringLiteral("+")); }));
    if (list.HasFolds()) std::fprintf(stderr, "not unfolded\n");
  }
  std::printf(
      "%s: fold by key %.1f ms (leave line given: %.1f ms), unfold by key %.1f ms (call of %d lines in %d held; "
      "median of %d)\n",
      what, Median(fold), Median(hide), Median(unfold), kInner + 2, list.GetHeldCount(), rounds);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  CToolFrame frame;
  CMonitorList& list = frame.Frame().GetList();
  Fill(list);
  QApplication::processEvents();
  Measure(list, "every line shown", rounds);
  list.SetLineFilter([](const SHeldLine& line) { return line.text.size() > 0; });
  Measure(list, "under a filter", rounds);
  return 0;
}
