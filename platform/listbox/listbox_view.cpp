// The list box's view of its lines: the top row and horizontal position,
// the scroll bars that mirror them, and the pacing of repaints.
#include "platform/listbox/listbox_p.h"
#include "platform/listbox/quietscrollbar.h"

#include <QFontMetricsF>

#include <climits>
#include <cmath>

namespace zef {

CListBox::Private::Private(CListBox* owner) : q(owner) {
  refresh.setSingleShot(true);
  layout.setSingleShot(true);
  QObject::connect(&layout, &QTimer::timeout, q, [this] {
    if (bLayoutDirty) SyncScrollBars();
  });
  QObject::connect(&refresh, &QTimer::timeout, q, [this] {
    bRefreshDue = true;
    UpdateAll();
    bRefreshDue = false;
  });
}

void CListBox::Private::MeasureRows() { nRowHeight = std::max(1, q->viewport()->fontMetrics().height()); }

QRect CListBox::Private::TextArea() const {
  const QRect view = q->viewport()->rect();
  return view.adjusted(std::min(gutter.Width(), view.width()), 0, 0, 0);
}

int CListBox::Private::Extent() {
  if (pendingExtent) {
    const PendingExtent& p = *pendingExtent;
    // As the line and its indent measured as one text, without making it.
    const qreal indent = p.depth > 0 ? p.depth * LookOf(p.indent).width : 0;
    const qreal width = indent + QFontMetricsF(q->viewport()->font()).horizontalAdvance(p.line);
    nExtent = int(std::clamp<qreal>(std::round(width) + p.margin, 0, INT_MAX));
    pendingExtent.reset();
  }
  return nExtent;
}

void CListBox::Private::UpdateAll() {
  if (bFullUpdatePending || !q->viewport()->isVisible() || Throttled()) return;
  bFullUpdatePending = true;
  q->viewport()->update();
}

// Moves the painted content by (dx, dy) pixels so that only the uncovered
// strip is painted anew. Up and down the whole view moves, gutter
// included; sideways only the text area, and the caret's frame, which
// spans the text area and does not move with the text, is painted anew.
void CListBox::Private::ScrollView(int dx, int dy) {
  QWidget* view = q->viewport();
  const QRect textArea = TextArea();
  if (bFullUpdatePending || bScrollPending || (dx != 0 && dy != 0) || std::abs(dx) >= textArea.width() ||
      std::abs(dy) >= view->height()) {
    UpdateAll();
    return;
  }
  if (!view->isVisible() || Throttled()) return;
  bScrollPending = true;
  if (dx == 0) {
    view->scroll(0, dy);
    return;
  }
  view->scroll(dx, 0, textArea);
  UpdateRow(nCaret);
}

// Brings the scroll bars to the state. The bars are always shown, so the
// viewport keeps its size; an owner that hides one (tests do) resizes the
// viewport, which re-enters through resizeEvent; that is absorbed here.
void CListBox::Private::SyncScrollBars() {
  if (bSyncing) return;
  bSyncing = true;
  for (int pass = 0; pass < 3; ++pass) {
    const int fullRows = FullRows();
    const int width = q->viewport()->width();
    const int top = std::clamp(nTop, 0, MaxTop());
    const int hpos = std::clamp(nHPos, 0, MaxHPos());
    if (top != nTop || hpos != nHPos) UpdateAll();
    nTop = top;
    nHPos = hpos;
    auto* vbar = static_cast<CQuietScrollBar*>(q->verticalScrollBar());
    vbar->setPageStep(fullRows);
    vbar->setSingleStep(1);
    vbar->SetRangeAndValue(MaxTop(), nTop);
    vbar->setEnabled(MaxTop() > 0);
    auto* hbar = static_cast<CQuietScrollBar*>(q->horizontalScrollBar());
    hbar->setEnabled(MaxHPos() > 0);
    hbar->setPageStep(std::max(1, TextArea().width()));
    hbar->setSingleStep(std::max(1, q->viewport()->fontMetrics().averageCharWidth()));
    hbar->SetRangeAndValue(MaxHPos(), nHPos);
    if (fullRows == FullRows() && width == q->viewport()->width()) break;
  }
  bLayoutDirty = false;
  bSyncing = false;
  lastSync.start();
}

void CListBox::Private::SetTop(int top) {
  top = std::clamp(top, 0, MaxTop());
  if (top == nTop) return;
  ScrollView(0, (nTop - top) * nRowHeight);
  nTop = top;
  MarkLayoutDirty();
}

void CListBox::Private::SetHPos(int pos) {
  pos = std::clamp(pos, 0, MaxHPos());
  if (pos == nHPos) return;
  ScrollView(nHPos - pos, 0);
  nHPos = pos;
  MarkLayoutDirty();
}

void CListBox::Private::EnsureVisible(int index) {
  if (index < nTop) SetTop(index);
  else if (index >= nTop + FullRows()) SetTop(index - FullRows() + 1);
}

void CListBox::Private::FontChanged() {
  MeasureRows();
  vIndentLooks.clear();
  gutter.LayOut(q->viewport());
  MarkLayoutDirty();
  UpdateAll();
}

int CListBox::GetTopIndex() const { return d->nTop; }

int CListBox::SetTopIndex(int index) {
  if (!d->IsValid(index)) return LB_ERR;
  // As far as the scroll range allows: near the end, the last line stays at
  // the bottom rather than leaving empty rows.
  d->SetTop(index);
  return 0;
}

void CListBox::SetHorizontalExtent(int pixels) {
  d->pendingExtent.reset();
  d->nExtent = std::max(0, pixels);
  d->MarkLayoutDirty();
}

void CListBox::SetHorizontalExtentFromLine(const QString& line, int depth, int margin) {
  d->pendingExtent = Private::PendingExtent{line, d->store.CurrentIndent(), depth, margin};
  d->MarkLayoutDirty();
}

int CListBox::GetHorizontalExtent() const { return d->Extent(); }

// Vertical: the range of top indices, 0 .. count - rows that fit wholly.
// Horizontal: 0 .. max(extent, viewport width) - viewport width, in pixels.
void CListBox::GetScrollRange(int bar, int* minPos, int* maxPos) const {
  if (minPos) *minPos = 0;
  if (maxPos) *maxPos = bar == SB_VERT ? d->MaxTop() : d->MaxHPos();
}

// `redraw` is moot: the bars repaint themselves whenever what they show
// changes, and only then.
int CListBox::SetScrollPos(int bar, int pos, bool) {
  const int previous = GetScrollPos(bar);
  if (bar == SB_VERT) d->SetTop(pos);
  else d->SetHPos(pos);
  return previous;
}

int CListBox::GetScrollPos(int bar) const { return bar == SB_VERT ? d->nTop : d->nHPos; }

void CListBox::OnVScroll(int code) {
  switch (code) {
    case SB_LINEUP:
      d->SetTop(d->nTop - 1);
      break;
    case SB_LINEDOWN:
      d->SetTop(d->nTop + 1);
      break;
    case SB_PAGEUP:
      d->SetTop(d->nTop - d->FullRows());
      break;
    case SB_PAGEDOWN:
      d->SetTop(d->nTop + d->FullRows());
      break;
    case SB_TOP:
      d->SetTop(0);
      break;
    case SB_BOTTOM:
      d->SetTop(d->MaxTop());
      break;
    default:
      break;
  }
}

void CListBox::resizeEvent(QResizeEvent*) { d->SyncScrollBars(); }

void CListBox::scrollContentsBy(int dx, int dy) {
  // Our own SyncScrollBars moves the bars to the state; only a move by the
  // user (dragging, wheel, arrow buttons) is taken over here.
  if (d->bSyncing) return;
  // The bars' own step (dx, dy) is not trusted: a bar that comes to a value
  // the view already shows (its range caught up later than the view moved)
  // reports a step too, and moving the painted rows by it again would show
  // rows twice. The view moves by how far it is from the bars.
  (void)dx;
  (void)dy;
  const int rows = d->nTop - verticalScrollBar()->value();
  const int pixels = d->nHPos - horizontalScrollBar()->value();
  d->nTop = verticalScrollBar()->value();
  d->nHPos = horizontalScrollBar()->value();
  if (rows != 0 || pixels != 0) d->ScrollView(pixels, rows * d->nRowHeight);
}

}  // namespace zef
