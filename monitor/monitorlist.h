// The monitor list: the list box that indents every line by call nesting and
// keeps its horizontal extent wide enough for the longest line. Its window
// text, which it never shows, is the buffer trace clients write into.
//
// Beside each line it keeps when the line was taken in and who sent it, and
// for a line that ends a call of its sender, how long that call took; a
// gutter before the lines can show them. None of it is part of a line's text.
#pragma once

#include "monitor/callfolds.h"
#include "monitor/follow.h"
#include "monitor/nestingrules.h"
#include "monitor/senders.h"
#include "platform/listbox/listbox.h"
#include "platform/window/window.h"

#include <cstdint>
#include <functional>

class QLabel;

namespace zef {

class CMonitorList : public CListBox, public CWindowObject, private IListGutter {
  Q_OBJECT
 public:
  // What the gutter shows as a line's time.
  enum class EGutter { kOff, kClockTime, kSincePrevious };

  explicit CMonitorList(QWidget* parent = nullptr);
  ~CMonitorList() override;

  // Lines of the monitor itself (its tools, its notices).
  int AddString(const QString& line) override;
  int InsertString(int index, const QString& line) override;
  // A line of `sender` (CSenders::kSelf or a peer the senders know);
  // `logged`: the log file has it. `time`: when it was taken in, in
  // microseconds since the epoch; 0 stamps it with Now().
  int AddLine(const QString& line, std::uint32_t sender, bool logged = false, std::int64_t time = 0);
  void ResetContent() override;
  // Scrolls to the last line; a paused follower follows again.
  void ScrollToEnd();
  // Keeps the last line in view while the reader is at the end; told of
  // the reader's own moves here.
  CFollow& Follower() { return m_follow; }

  // The indent string of lines added from now on.
  void SetIndent(const QString& indent);
  void ResetNesting() { m_rules.ResetNesting(); }
  int Nesting() const { return m_rules.Nesting(); }

  CSenders& Senders() { return m_senders; }
  // Names sender `id`, widening the gutter's sender column when needed.
  void MeetSender(std::uint32_t id, const QString& label, bool told = false);

  void SetGutter(EGutter gutter);
  EGutter Gutter() const { return m_eGutter; }
  // The texts the gutter shows for line `index` (valid): time, duration of
  // the call the line ends (empty when none), sender.
  std::vector<QString> GutterTexts(int index) const;

  // Microseconds since the epoch, never decreasing: the clock time when the
  // list was made plus the time elapsed since on the monotonic clock, so
  // that a clock set back does not reorder the lines' times. Tests set
  // their own.
  std::int64_t Now() const;
  void SetClock(std::function<std::int64_t()> clock) { m_clock = std::move(clock); }

  // Asked before AddLine keeps a line, with the label key its stamp would
  // hold: true keeps it out of the list altogether (the filter's drop
  // rules). Empty (the default): every line is kept.
  using DropFilter = std::function<bool(const QString& line, std::uint32_t labelKey)>;
  void SetDropFilter(DropFilter drop) { m_drop = std::move(drop); }

  // A panel along the bottom of the list, under the rows and above the
  // horizontal scroll bar (the filter bar); the rows make room for it while
  // it is shown. A child of the list; null: none.
  void SetBottomPanel(QWidget* panel);

  // --- Folded calls: a view, as the filter is ---
  // A folded call's inner lines and its leave line are hidden, and its
  // enter line shows FoldSummary after its text (painted, never part of the
  // line: Copy and Save lines as leave it out). Every index counts shown
  // rows. With nothing folded the list keeps no hidden range, and no line
  // filter unless the filter rules or bar set one.
  // Folds each call of `calls`, pairs of the shown rows of its enter and
  // leave line; a caret inside one goes to its enter line. False when none
  // was new.
  bool FoldCalls(const std::vector<std::pair<int, int>>& calls);
  // Unfolds the call whose enter line is shown row `row`; the calls folded
  // inside it stay folded. False when it is not folded.
  bool UnfoldCall(int row);
  void UnfoldAll();
  bool IsFolded(int row) const;
  bool HasFolds() const { return !m_folds.IsEmpty(); }
  // "… 1,234 lines, 12.3 ms": the lines between the enter and the leave
  // line, and the call's duration when its leave line has one. Empty when
  // row `row` is not a folded call's enter line.
  QString FoldSummary(int row) const;

  // The note over the first row once the memory limit dropped lines
  // ("… 1,234,567 earlier lines dropped (the log file has them)"); hidden
  // while none were dropped.
  QLabel* DroppedNote() const { return m_pDroppedNote; }

 signals:
  // "/" with the list focused: the filter bar is asked for.
  void FilterKeyPressed();
  // "-" (fold) or "+" and "=" (unfold) with the list focused.
  void FoldKeyPressed(bool fold);

 protected:
  // The reader's moves, which pause or resume following.
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void LinesDropped(int held, int shown) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // IListGutter
  std::vector<SColumn> Columns() const override;
  void RowTexts(int index, std::vector<QString>& texts) const override;

  int Place(int index, const QString& line, std::uint32_t sender, bool logged, std::int64_t time = 0);
  // Puts the folds' hidden ranges on the list, and the summaries while
  // something is folded.
  void ApplyFolds();
  QString SummaryOf(const CCallFolds::SFold& fold) const;
  // The rows make room for the note above them and the panel below.
  void LayoutPanels();

  // The pixel width of `line` after `depth` indent strings, in the list's
  // font, plus 5, as the extent: one indent's width counted depth times.
  void SetHorizontalExtentFrom(int depth, const QString& line);

  CNestingRules m_rules;
  CSenders m_senders;
  std::int64_t m_nClockOffset;            // the clock time less the monotonic time at the start
  std::function<std::int64_t()> m_clock;  // a test's own clock, when set
  EGutter m_eGutter = EGutter::kOff;
  DropFilter m_drop;
  QWidget* m_pBottomPanel = nullptr;
  QLabel* m_pDroppedNote;
  // Held indices of the first and last line the log file does not have
  // (-1: none held), and whether the limit dropped such a line. The first
  // is kept on the safe side: once it is dropped, every line up to the last
  // counts as not logged.
  int m_nFirstUnlogged = -1;
  int m_nLastUnlogged = -1;
  bool m_bDroppedUnlogged = false;
  CFollow m_follow{*this};
  CCallFolds m_folds;
};

// "12.345 ms": a duration in microseconds, to three significant decimals in
// the unit that suits it (µs, ms, s; minutes and hours beyond).
QString FormatDuration(std::int64_t microseconds);
// "14:03:27.120034": the local clock time of `microseconds` since the epoch.
QString FormatClockTime(std::int64_t microseconds);
// "+0.000120": seconds since an earlier time, to the microsecond.
QString FormatSince(std::int64_t microseconds);

}  // namespace zef
