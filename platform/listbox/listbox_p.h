// The list box's own state, shared by its units: listbox.cpp (the LB_
// operations), listbox_view.cpp (scrolling, the scroll bars, repaint
// pacing), listbox_paint.cpp (rows and indents), listbox_input.cpp
// (the caret, mouse, keys and selection) and listbox_filter.cpp (which
// held lines are shown).
#pragma once

#include "platform/listbox/linestore.h"
#include "platform/listbox/listbox.h"
#include "platform/listbox/listgutterview.h"

#include <QElapsedTimer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace zef {

// Space between the left edge and the text of a row, in pixels.
constexpr int kTextMargin = 2;

// The list's own state is the truth; the scroll bars mirror it. Every change
// that moves the scroll range only marks the layout dirty, so a million
// appends cost one scroll-bar update. Queries compute from the state, never
// from the bars.
//
// Caret: the line that keyboard moves start from and LB_GETCURSEL reports.
// As in the platform's multiple-selection list, a list with lines always has
// one (line 0 until something moves it); an empty list has none.
struct CListBox::Private {
  explicit Private(CListBox* owner);

  CListBox* q;
  CLineStore store;
  // Rows, the caret and the top count shown lines; the store counts held
  // ones. Held(shown) crosses over.
  int nCaret = 0;
  int nTop = 0;     // index of the top row
  int nHPos = 0;    // horizontal scroll position in pixels
  int nExtent = 0;  // owner-set width of the content in pixels
  // A line whose width is to become the extent, measured when the extent is
  // next needed: an owner setting the extent from every line of a run of
  // ever longer ones (lines that nest ever deeper) pays for one measurement
  // per frame, not one per line.
  struct PendingExtent {
    QString line;
    QString indent;
    int depth = 0;
    int margin = 0;
  };
  std::optional<PendingExtent> pendingExtent;
  int nRowHeight = 1;
  bool bLayoutDirty = false;
  QTimer layout;  // brings the scroll bars up to date after the current work, at most once per frame
  bool bSyncing = false;
  // Repaint bookkeeping, reset by each paint: once the whole view is due,
  // finer updates are pointless; and only one pixel scroll per paint, since
  // each scroll copies the whole view at once.
  bool bFullUpdatePending = false;
  bool bScrollPending = false;

  // Painting is paced to the screen's refresh: within one frame of the last
  // paint, changes only arm a timer that repaints the whole view once the
  // frame is over. Lines arriving one per event-loop pass (trace clients)
  // would otherwise cost one paint each.
  static constexpr int kFrameMs = 16;
  QElapsedTimer lastPaint;
  QElapsedTimer lastSync;  // of the scroll bars
  QTimer refresh;
  bool bRefreshDue = false;

  CListGutterView gutter;

  // How each indent string in use looks in the list's font, measured once:
  // measuring a long indent string on every paint would cost as much as
  // drawing it. Keyed by the string's data, which the line store keeps
  // until the content is reset; forgotten then and when the font changes.
  // The width is fractional: glyph advances are, and the repetitions are
  // drawn as one run whose width is their sum, which the text must follow.
  struct IndentLook {
    const QChar* pData;
    qsizetype nSize;
    qreal width;
    bool bBlank;  // only white space: nothing to draw
  };
  std::vector<IndentLook> vIndentLooks;

  // The shown lines. While bFiltered (a filter or a hidden range is set),
  // vShown holds the held index of each shown line, ascending; otherwise it
  // is empty and every line is shown.
  CListBox::LineFilter filter;
  CListBox::RowBackground background;
  CListBox::RowSuffix suffix;
  std::vector<std::uint32_t> vShown;
  std::vector<SHeldRange> vHidden;  // ascending, disjoint, within the held lines
  bool bFiltered = false;

  // The memory limit (0: none), the store's segments when it was last
  // checked, and the held lines it dropped since the last reset.
  std::size_t nMemoryLimit = 0;
  int nCheckedSegments = 0;
  qint64 nDropped = 0;

  // Per appended line, so inline.
  int Count() const { return bFiltered ? int(vShown.size()) : store.Count(); }
  int Held(int shown) const { return bFiltered ? int(vShown[std::size_t(shown)]) : shown; }
  bool IsValid(int index) const { return index >= 0 && index < Count(); }
  bool Throttled() {
    if (bRefreshDue || !lastPaint.isValid()) return false;
    const qint64 since = lastPaint.elapsed();
    if (since >= kFrameMs) return false;
    if (!refresh.isActive()) refresh.start(int(kFrameMs - since));
    return true;
  }
  void MarkLayoutDirty() {
    bLayoutDirty = true;
    if (layout.isActive()) return;
    // A timer, not a posted event: posting wakes the event loop through a
    // write to its wake-up descriptor, once per line when lines arrive one
    // per pass. And at most once per frame: a bar whose slider shrinks with
    // every line (the horizontal one while lines nest deeper) would
    // otherwise repaint once per line.
    const qint64 since = lastSync.isValid() ? lastSync.elapsed() : kFrameMs;
    layout.start(int(std::clamp<qint64>(kFrameMs - since, 0, kFrameMs)));
  }
  void UpdateRow(int index) {
    if (bFullUpdatePending || index < nTop || index >= nTop + ShownRows() || Throttled()) return;
    q->viewport()->update(0, (index - nTop) * nRowHeight, q->viewport()->width(), nRowHeight);
  }
  // Rows that fit wholly in the viewport, at least one.
  int FullRows() const { return std::max(1, q->viewport()->height() / nRowHeight); }
  // Rows that show at least in part.
  int ShownRows() const { return (q->viewport()->height() + nRowHeight - 1) / nRowHeight; }

  // listbox_view.cpp
  void MeasureRows();
  int MaxTop() const { return std::max(0, Count() - FullRows()); }
  int MaxHPos() { return std::max(0, Extent() - TextArea().width()); }
  // The part of the viewport that shows the lines' text: all of it right of
  // the gutter (nothing, should the gutter be wider than the view).
  QRect TextArea() const;
  int Extent();
  void UpdateAll();
  void ScrollView(int dx, int dy);
  void SyncScrollBars();
  // The bars follow with the next layout pass, so that an owner scrolling
  // to the end after every appended line pays for the bars once per paint.
  void SetTop(int top);
  void SetHPos(int pos);
  void EnsureVisible(int index);
  // The font changed: measure rows, indents and gutter anew.
  void FontChanged();

  // listbox_paint.cpp
  const IndentLook& LookOf(const QString& indent);
  // Draws the repetitions of `indent` (`depth` of them from `x` on) that
  // meet the text area, which begins at `left`, so a deep line costs no more
  // than a shallow one; returns where the line's own text begins.
  qreal PaintIndent(QPainter& painter, qreal x, int left, int baseline, int depth, const QString& indent);
  // Rows first..last of the text area.
  void PaintRows(QPainter& painter, int first, int last);

  // listbox_input.cpp
  void MoveCaret(int index);
  void ToggleSelection(int index);

  // listbox.cpp
  // Drops the oldest segments while the store holds more than the limit;
  // returns the held lines dropped.
  int KeepWithinLimit();

  // listbox_filter.cpp
  // The first shown line at or after held line `held`; Count() when none.
  int ShownFrom(int held) const;
  // Held line `held` was just stored: judged when filtered, and listed
  // when shown (after the held indices from it on moved down, for an
  // insert). Its shown index, or -1 when hidden.
  int Admit(int held, bool inserted);
  // Lists the shown lines anew (from the shown ones only when narrowing)
  // and carries the caret and the top row over.
  void Judge(bool narrowing);
  // The held lines of `runs` (ascending, disjoint) that the filter, when
  // set, lets through, ascending; judged in parts on every core.
  std::vector<std::uint32_t> Admitted(const std::vector<SHeldRange>& runs) const;
  // vHidden becomes `ranges`: the newly hidden lines leave vShown, the ones
  // shown again are judged and join it.
  void Hide(std::vector<SHeldRange> ranges);
  // The held line of the caret and of the top row, before the shown lines
  // change; and after, puts them back on the nearest shown lines.
  std::pair<int, int> HeldPlaces() const;
  void CarryOver(std::pair<int, int> held);
  // Whether held line `held` lies in a hidden range, and the range.
  const SHeldRange* HiddenAt(int held) const;
  // The first `held` held lines went: the shown ones among them leave
  // vShown and the rest move up, hidden ranges too. Returns how many shown
  // lines went.
  int Forget(int held);
};

}  // namespace zef
