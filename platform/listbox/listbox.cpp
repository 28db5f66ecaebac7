#include "platform/listbox/listbox.h"

#include <QElapsedTimer>
#include <QTimer>

#include "platform/listbox/linestore.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>

#include <algorithm>
#include <climits>

namespace zef {

namespace {

// Posted to the viewport once per burst of changes; the scroll bars are
// brought up to date when it arrives (or before a paint, if that is sooner).

// Space between the left edge and the text of a row, in pixels.
constexpr int kTextMargin = 2;

// The vertical bar of a list with a million lines moves its slider by a
// pixel only every few thousand lines; this bar repaints only when what it
// shows changes, so following appended lines does not repaint it per line.
class CQuietScrollBar final : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

  // Range and value in one step, judged once: between the two the slider
  // would seem to move and back.
  void SetRangeAndValue(int maximum, int value) {
    m_bBatch = true;
    setRange(0, maximum);
    setValue(value);
    m_bBatch = false;
    if (Looks() != m_looksPainted) update();
  }

 protected:
  void sliderChange(SliderChange change) override {
    if ((change == SliderValueChange || change == SliderRangeChange) && (m_bBatch || Looks() == m_looksPainted))
      return;
    QScrollBar::sliderChange(change);
  }
  void paintEvent(QPaintEvent* event) override {
    m_looksPainted = Looks();
    QScrollBar::paintEvent(event);
  }

 private:
  struct Appearance {
    QRect rectSlider;
    bool bAtMinimum = false;  // styles draw the arrows of a bar at its end disabled
    bool bAtMaximum = false;
    bool operator==(const Appearance&) const = default;
  };
  Appearance Looks() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
  }

  Appearance m_looksPainted;
  bool m_bBatch = false;
};

}  // namespace

// The list's own state is the truth; the scroll bars mirror it. Every change
// that moves the scroll range only marks the layout dirty, so a million
// appends cost one scroll-bar update. Queries compute from the state, never
// from the bars.
//
// Caret: the line that keyboard moves start from and LB_GETCURSEL reports.
// As in the platform's multiple-selection list, a list with lines always has
// one (line 0 until something moves it); an empty list has none.
struct CListBox::Private {
  explicit Private(CListBox* owner) : q(owner) {
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

  CListBox* q;
  CLineStore store;
  int nCaret = 0;
  int nTop = 0;     // index of the top row
  int nHPos = 0;    // horizontal scroll position in pixels
  int nExtent = 0;  // owner-set width of the content in pixels
  int nRowHeight = 1;
  bool bLayoutDirty = false;
  QTimer layout;  // brings the scroll bars up to date once the current work is done
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
  QTimer refresh;
  bool bRefreshDue = false;

  bool Throttled() {
    if (bRefreshDue || !lastPaint.isValid()) return false;
    const qint64 since = lastPaint.elapsed();
    if (since >= kFrameMs) return false;
    if (!refresh.isActive()) refresh.start(int(kFrameMs - since));
    return true;
  }

  void MeasureRows() { nRowHeight = std::max(1, q->viewport()->fontMetrics().height()); }
  // Rows that fit wholly in the viewport, at least one.
  int FullRows() const { return std::max(1, q->viewport()->height() / nRowHeight); }
  // Rows that show at least in part.
  int ShownRows() const { return (q->viewport()->height() + nRowHeight - 1) / nRowHeight; }
  int MaxTop() const { return std::max(0, store.Count() - FullRows()); }
  int MaxHPos() const { return std::max(0, nExtent - q->viewport()->width()); }
  bool IsValid(int index) const { return index >= 0 && index < store.Count(); }

  void MarkLayoutDirty() {
    bLayoutDirty = true;
    // A zero timer, not a posted event: posting wakes the event loop through
    // a write to its wake-up descriptor, once per line when lines arrive one
    // per pass.
    if (!layout.isActive()) layout.start(0);
  }

  void UpdateAll() {
    if (bFullUpdatePending || !q->viewport()->isVisible() || Throttled()) return;
    bFullUpdatePending = true;
    q->viewport()->update();
  }

  void UpdateRow(int index) {
    if (bFullUpdatePending || index < nTop || index >= nTop + ShownRows() || Throttled()) return;
    q->viewport()->update(0, (index - nTop) * nRowHeight, q->viewport()->width(), nRowHeight);
  }

  // Moves the painted content by (dx, dy) pixels so that only the uncovered
  // strip is painted anew.
  void ScrollView(int dx, int dy) {
    QWidget* view = q->viewport();
    if (bFullUpdatePending || bScrollPending || std::abs(dx) >= view->width() || std::abs(dy) >= view->height()) {
      UpdateAll();
      return;
    }
    if (!view->isVisible() || Throttled()) return;
    bScrollPending = true;
    view->scroll(dx, dy);
  }

  // Brings the scroll bars to the state. Showing or hiding a bar resizes the
  // viewport, which re-enters through resizeEvent; that is absorbed here.
  void SyncScrollBars() {
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
      QScrollBar* hbar = q->horizontalScrollBar();
      hbar->setRange(0, MaxHPos());
      hbar->setPageStep(std::max(1, width));
      hbar->setSingleStep(std::max(1, q->viewport()->fontMetrics().averageCharWidth()));
      hbar->setValue(nHPos);
      if (fullRows == FullRows() && width == q->viewport()->width()) break;
    }
    bLayoutDirty = false;
    bSyncing = false;
  }

  // The bars follow with the next layout pass, so that an owner scrolling
  // to the end after every appended line pays for the bars once per paint.
  void SetTop(int top) {
    top = std::clamp(top, 0, MaxTop());
    if (top == nTop) return;
    ScrollView(0, (nTop - top) * nRowHeight);
    nTop = top;
    MarkLayoutDirty();
  }

  void SetHPos(int pos) {
    pos = std::clamp(pos, 0, MaxHPos());
    if (pos == nHPos) return;
    ScrollView(nHPos - pos, 0);
    nHPos = pos;
    MarkLayoutDirty();
  }

  void EnsureVisible(int index) {
    if (index < nTop)
      SetTop(index);
    else if (index >= nTop + FullRows())
      SetTop(index - FullRows() + 1);
  }

  void MoveCaret(int index) {
    if (store.Count() == 0) return;
    UpdateRow(nCaret);
    nCaret = std::clamp(index, 0, store.Count() - 1);
    EnsureVisible(nCaret);
    UpdateRow(nCaret);
  }

  void ToggleSelection(int index) {
    store.SetSelected(index, !store.IsSelected(index));
    UpdateRow(index);
  }
};

CListBox::CListBox(QWidget* parent) : QAbstractScrollArea(parent), d(new Private(this)) {
  setFocusPolicy(Qt::StrongFocus);
  // SyncScrollBars relies on this being the vertical bar for the widget's life.
  setVerticalScrollBar(new CQuietScrollBar(Qt::Vertical, this));
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  d->MeasureRows();
}

CListBox::~CListBox() { delete d; }

int CListBox::AddString(const QString& line) {
  if (d->store.Count() == INT_MAX) return LB_ERR;
  const int index = d->store.Append(line);
  d->MarkLayoutDirty();
  d->UpdateRow(index);
  return index;
}

int CListBox::InsertString(int index, const QString& line) {
  const int count = d->store.Count();
  if (index < -1 || index > count || count == INT_MAX) return LB_ERR;
  if (index == -1) index = count;
  d->store.Insert(index, line);
  // The caret stays on its line.
  if (count > 0 && index <= d->nCaret) ++d->nCaret;
  d->MarkLayoutDirty();
  if (index < d->nTop + d->ShownRows()) d->UpdateAll();
  return index;
}

void CListBox::ResetContent() {
  d->store.Clear();
  d->nCaret = 0;
  d->nTop = 0;
  d->MarkLayoutDirty();
  d->UpdateAll();
}

int CListBox::GetCount() const { return d->store.Count(); }

int CListBox::GetCurSel() const { return d->store.Count() == 0 ? LB_ERR : d->nCaret; }

void CListBox::SetCaretIndex(int index) {
  if (d->IsValid(index)) d->MoveCaret(index);
}

int CListBox::GetSelCount() const { return d->store.SelectedCount(); }

std::vector<int> CListBox::GetSelItems(int maxItems) const { return d->store.SelectedItems(maxItems); }

bool CListBox::GetSel(int index) const { return d->IsValid(index) && d->store.IsSelected(index); }

int CListBox::SetSel(bool select, int index) {
  if (index == -1) {
    d->store.SetAllSelected(select);
    d->UpdateAll();
  } else {
    if (!d->IsValid(index)) return LB_ERR;
    // Neither the caret line nor the view moves: Mark Block and Find select
    // lines without changing where the next search starts.
    d->store.SetSelected(index, select);
    d->UpdateRow(index);
  }
  return 0;
}

int CListBox::GetTextLen(int index) const { return d->IsValid(index) ? d->store.Length(index) : LB_ERR; }

QString CListBox::GetText(int index) const { return d->IsValid(index) ? d->store.Text(index) : QString(); }

int CListBox::GetTopIndex() const { return d->nTop; }

int CListBox::SetTopIndex(int index) {
  if (!d->IsValid(index)) return LB_ERR;
  // As far as the scroll range allows: near the end, the last line stays at
  // the bottom rather than leaving empty rows.
  d->SetTop(index);
  return 0;
}

void CListBox::SetHorizontalExtent(int pixels) {
  d->nExtent = std::max(0, pixels);
  d->MarkLayoutDirty();
}

int CListBox::GetHorizontalExtent() const { return d->nExtent; }

bool CListBox::LineContains(int index, char16_t ch) const {
  return d->IsValid(index) && d->store.Contains(index, ch);
}

int CListBox::FindContaining(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const {
  const int found = d->store.Find(from, step, needle, cs);
  return found < 0 ? LB_ERR : found;
}

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
  if (bar == SB_VERT)
    d->SetTop(pos);
  else
    d->SetHPos(pos);
  return previous;
}

int CListBox::GetScrollPos(int bar) const { return bar == SB_VERT ? d->nTop : d->nHPos; }

void CListBox::OnVScroll(int code) {
  switch (code) {
    case SB_LINEUP: d->SetTop(d->nTop - 1); break;
    case SB_LINEDOWN: d->SetTop(d->nTop + 1); break;
    case SB_PAGEUP: d->SetTop(d->nTop - d->FullRows()); break;
    case SB_PAGEDOWN: d->SetTop(d->nTop + d->FullRows()); break;
    case SB_TOP: d->SetTop(0); break;
    case SB_BOTTOM: d->SetTop(d->MaxTop()); break;
    default: break;
  }
}

std::size_t CListBox::MemoryUsed() const { return d->store.MemoryUsed(); }

void CListBox::paintEvent(QPaintEvent* event) {
  d->lastPaint.start();
  d->bFullUpdatePending = false;
  d->bScrollPending = false;
  if (d->bLayoutDirty) d->SyncScrollBars();
  QWidget* view = viewport();
  QPainter painter(view);
  const QFontMetrics metrics = view->fontMetrics();
  const int rowHeight = d->nRowHeight;
  const int width = view->width();
  // Only the rows that meet the region to paint.
  const QRect area = event->rect();
  const int first = d->nTop + std::max(0, area.top()) / rowHeight;
  const int last = std::min(d->store.Count() - 1, d->nTop + std::max(0, area.bottom()) / rowHeight);
  const QPalette& pal = palette();
  const bool focused = hasFocus();
  const int x = kTextMargin - d->nHPos;
  for (int i = first; i <= last; ++i) {
    const QRect row(0, (i - d->nTop) * rowHeight, width, rowHeight);
    const bool selected = d->store.IsSelected(i);
    if (selected) painter.fillRect(row, pal.brush(QPalette::Highlight));
    painter.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(x, row.top() + metrics.ascent(), d->store.Text(i));
    if (focused && i == d->nCaret) {
      QStyleOptionFocusRect option;
      option.initFrom(this);
      option.rect = row;
      option.backgroundColor = pal.color(selected ? QPalette::Highlight : QPalette::Base);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
  }
}

void CListBox::resizeEvent(QResizeEvent*) { d->SyncScrollBars(); }

void CListBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const int y = event->position().toPoint().y();
  if (y < 0) return;
  const int index = d->nTop + y / d->nRowHeight;
  if (!d->IsValid(index)) return;
  d->ToggleSelection(index);
  d->MoveCaret(index);
}

void CListBox::keyPressEvent(QKeyEvent* event) {
  const int count = d->store.Count();
  // A page move keeps one row of context, as the platform list does.
  const int page = std::max(1, d->FullRows() - 1);
  switch (event->key()) {
    case Qt::Key_Up: d->MoveCaret(d->nCaret - 1); break;
    case Qt::Key_Down: d->MoveCaret(d->nCaret + 1); break;
    case Qt::Key_PageUp: d->MoveCaret(d->nCaret - page); break;
    case Qt::Key_PageDown: d->MoveCaret(d->nCaret + page); break;
    case Qt::Key_Home: d->MoveCaret(0); break;
    case Qt::Key_End: d->MoveCaret(count - 1); break;
    case Qt::Key_Space:
      if (count > 0) {
        d->ToggleSelection(d->nCaret);
      }
      break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

void CListBox::scrollContentsBy(int dx, int dy) {
  // Our own SyncScrollBars moves the bars to the state; only a move by the
  // user (dragging, wheel, arrow buttons) is taken over here.
  if (d->bSyncing) return;
  d->nTop = verticalScrollBar()->value();
  d->nHPos = horizontalScrollBar()->value();
  d->ScrollView(dx, dy * d->nRowHeight);
}

bool CListBox::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    d->MeasureRows();
    d->MarkLayoutDirty();
    d->UpdateAll();
  }
  // The press did the work; the release is taken so it does not travel on.
  if (event->type() == QEvent::MouseButtonRelease) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace zef
