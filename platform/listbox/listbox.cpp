#include "platform/listbox/listbox.h"

#include "platform/listbox/linestore.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <optional>

namespace zef {

namespace {

// Space between the left edge and the text of a row, in pixels.
constexpr int kTextMargin = 2;

// The most UTF-16 units of a gutter text that are measured and drawn.
constexpr qsizetype kMaxGutterText = 256;

// The vertical bar of a list with a million lines moves its slider by a
// pixel only every few thousand lines, and the horizontal bar of a list whose
// lines nest ever deeper has its slider at the minimum length soon; this bar
// repaints only when what it shows changes, so following appended lines does
// not repaint it per line.
class CQuietScrollBar final : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

  // Range and value in one step, judged once: between the two the slider
  // would seem to move and back.
  void SetRangeAndValue(int maximum, int value) {
    m_bBatch = true;
    {
      const QSignalBlocker quiet(this);
      setRange(0, maximum);
      setValue(value);
    }
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
  int MaxHPos() { return std::max(0, Extent() - TextArea().width()); }

  // The gutter as laid out in the list's font. Column edges are whole
  // pixels so that every row puts its texts in the same places; nGutter is
  // where the text area begins (0 without a gutter or without columns).
  struct GutterColumn {
    int nLeft;
    int nWidth;
    bool bAlignRight;
    // The text drawn last in this column. Rows in a run often repeat it
    // (one sender's lines): drawn again from its laid-out glyphs, the
    // repeat costs no shaping and no measuring.
    QString strLast;
    QString strShown;  // strLast as drawn, cut to the column
    int nShownWidth = 0;
    std::optional<QStaticText> laidOut;  // made when strLast comes a second time
  };
  const IListGutter* pGutter = nullptr;
  std::vector<GutterColumn> vGutterColumns;
  std::vector<QString> vGutterTexts;  // handed to RowTexts for each painted row
  int nGutter = 0;

  void LayOutGutter() {
    vGutterColumns.clear();
    nGutter = 0;
    if (pGutter) {
      const QFontMetricsF metrics(q->viewport()->font());
      // Between columns and before the text area, about one character.
      const int gap = std::max(4, q->viewport()->fontMetrics().averageCharWidth());
      // Far wider than any screen, and far from overflowing when added to.
      constexpr qint64 kMaxGutter = 1 << 24;
      qint64 x = kTextMargin;
      for (const IListGutter::SColumn& column : pGutter->Columns()) {
        if (x >= kMaxGutter) break;
        const qint64 width = std::min<qint64>(qint64(std::ceil(metrics.horizontalAdvance(column.strSample))), kMaxGutter);
        GutterColumn& laid = vGutterColumns.emplace_back();
        laid.nLeft = int(x);
        laid.nWidth = int(width);
        laid.bAlignRight = column.bAlignRight;
        x += width + gap;
      }
      if (!vGutterColumns.empty()) nGutter = int(std::min(x, kMaxGutter));
    }
    vGutterTexts.assign(vGutterColumns.size(), QString());
    vLatin1Advances.fill(-1);
  }

  // Advances of the Latin-1 characters in the list's font, measured when
  // first needed: the width of a gutter text (digits, a program's name)
  // is their sum, with no shaping. Kerning is left out; a right-aligned
  // text may sit a fraction of a pixel off.
  std::array<qreal, 256> vLatin1Advances{};
  int GutterTextWidth(const QString& text) {
    qreal width = 0;
    for (const QChar c : text) {
      if (c.unicode() > 0xFF) return q->viewport()->fontMetrics().horizontalAdvance(text);
      qreal& advance = vLatin1Advances[c.unicode()];
      if (advance < 0) advance = QFontMetricsF(q->viewport()->font()).horizontalAdvance(c);
      width += advance;
    }
    return int(std::ceil(width));
  }

  // The part of the viewport that shows the lines' text: all of it right of
  // the gutter (nothing, should the gutter be wider than the view).
  QRect TextArea() const {
    const QRect view = q->viewport()->rect();
    return view.adjusted(std::min(nGutter, view.width()), 0, 0, 0);
  }

  int Extent() {
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
  bool IsValid(int index) const { return index >= 0 && index < store.Count(); }

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
  // strip is painted anew. Up and down the whole view moves, gutter
  // included; sideways only the text area, and the caret's frame, which
  // spans the text area and does not move with the text, is painted anew.
  void ScrollView(int dx, int dy) {
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

  const IndentLook& LookOf(const QString& indent) {
    for (const IndentLook& look : vIndentLooks)
      if (look.pData == indent.constData() && look.nSize == indent.size()) return look;
    const bool blank = std::all_of(indent.begin(), indent.end(), [](QChar c) { return c.isSpace(); });
    const qreal width = QFontMetricsF(q->viewport()->font()).horizontalAdvance(indent);
    return vIndentLooks.emplace_back(IndentLook{indent.constData(), indent.size(), width, blank});
  }

  // Draws the repetitions of `indent` (`depth` of them from `x` on) that
  // meet the text area, which begins at `left`, so a deep line costs no more
  // than a shallow one; returns where the line's own text begins.
  qreal PaintIndent(QPainter& painter, qreal x, int left, int baseline, int depth, const QString& indent) {
    const IndentLook& look = LookOf(indent);
    const qreal end = x + depth * look.width;
    if (look.bBlank || look.width <= 0) return end;
    const qint64 first = x < left ? qint64((left - x) / look.width) : 0;
    const qint64 last = std::min<qint64>(depth, qint64((q->viewport()->width() - x) / look.width) + 1);
    if (first < last) painter.drawText(QPointF(x + first * look.width, baseline), indent.repeated(last - first));
    return end;
  }

  void ToggleSelection(int index) {
    store.SetSelected(index, !store.IsSelected(index));
    UpdateRow(index);
  }
};

CListBox::CListBox(QWidget* parent) : QAbstractScrollArea(parent), d(new Private(this)) {
  setFocusPolicy(Qt::StrongFocus);
  // SyncScrollBars relies on these being the bars for the widget's life.
  setVerticalScrollBar(new CQuietScrollBar(Qt::Vertical, this));
  setHorizontalScrollBar(new CQuietScrollBar(Qt::Horizontal, this));
  // A bar that appeared with the line that needs it would cover the last
  // row just scrolled into view, and the rows would jump when it came.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  verticalScrollBar()->setEnabled(false);
  horizontalScrollBar()->setEnabled(false);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  d->MeasureRows();
}

CListBox::~CListBox() { delete d; }

int CListBox::AddString(const QString& line) { return AddIndentedString(line, 0, {}); }

int CListBox::InsertString(int index, const QString& line) { return InsertIndentedString(index, line, 0, {}); }

int CListBox::AddIndentedString(const QString& line, int depth, const SLineStamp& stamp) {
  if (d->store.Count() == INT_MAX) return LB_ERR;
  const int index = d->store.Append(line, depth, stamp);
  d->MarkLayoutDirty();
  d->UpdateRow(index);
  return index;
}

int CListBox::InsertIndentedString(int index, const QString& line, int depth, const SLineStamp& stamp) {
  const int count = d->store.Count();
  if (index < -1 || index > count || count == INT_MAX) return LB_ERR;
  if (index == -1) index = count;
  d->store.Insert(index, line, depth, stamp);
  // The caret stays on its line.
  if (count > 0 && index <= d->nCaret) ++d->nCaret;
  d->MarkLayoutDirty();
  if (index < d->nTop + d->ShownRows()) d->UpdateAll();
  return index;
}

SLineStamp CListBox::GetStamp(int index) const { return d->IsValid(index) ? d->store.Stamp(index) : SLineStamp{}; }

void CListBox::SetIndentString(const QString& indent) { d->store.SetIndent(indent); }

void CListBox::ResetContent() {
  d->store.Clear();
  d->vIndentLooks.clear();
  // Freed segments lie below what the rest of the program allocated while
  // they grew (painting caches, clients' buffers), so the heap's top cannot
  // shrink past them: without a trim, a shown list of 5 M lines kept 30 MB
  // more resident once emptied than before. The trim hands back every free
  // page.
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
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

int CListBox::SelItemRange(bool select, int first, int last) {
  if (first > last) std::swap(first, last);
  if (!d->IsValid(first) || !d->IsValid(last)) return LB_ERR;
  // As SetSel for each line, without finding each line anew.
  d->store.SetRangeSelected(first, last, select);
  if (last >= d->nTop && first < d->nTop + d->ShownRows()) d->UpdateAll();
  return 0;
}

int CListBox::GetTextLen(int index) const { return d->IsValid(index) ? d->store.Length(index) : LB_ERR; }

QString CListBox::GetText(int index) const { return d->IsValid(index) ? d->store.Text(index) : QString(); }

QString CListBox::GetOwnText(int index) const { return d->IsValid(index) ? d->store.OwnText(index) : QString(); }

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

void CListBox::SetGutter(const IListGutter* gutter) {
  d->pGutter = gutter;
  GutterChanged();
}

void CListBox::GutterChanged() {
  d->LayOutGutter();
  d->MarkLayoutDirty();
  d->UpdateAll();
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
  const QRect textArea = d->TextArea();
  if (!d->vGutterColumns.empty()) {
    PaintGutter(painter, first, last);
    // The text, shifted by the horizontal scroll, must not run into it.
    painter.setClipRect(textArea);
  }
  const int x = textArea.left() + kTextMargin - d->nHPos;
  for (int i = first; i <= last; ++i) {
    const QRect row(textArea.left(), (i - d->nTop) * rowHeight, textArea.width(), rowHeight);
    const bool selected = d->store.IsSelected(i);
    if (selected) painter.fillRect(row, pal.brush(QPalette::Highlight));
    const QColor ink = pal.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter.setPen(ink);
    const int baseline = row.top() + metrics.ascent();
    const int depth = d->store.Depth(i);
    const qreal textX =
        depth > 0 ? d->PaintIndent(painter, x, textArea.left(), baseline, depth, d->store.IndentOf(i)) : x;
    if (textX < width) painter.drawText(QPointF(textX, baseline), d->store.OwnText(i));
    if (i == d->nCaret) {
      // The caret, as the platform's list draws its focus rectangle.
      QPen dotted(ink, 0, Qt::DotLine);
      painter.setPen(dotted);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(row.adjusted(0, 0, -1, -1));
    }
  }
}

// Rows first..last of the gutter, in the muted colour: each text left or
// right in its column, cut with "…" where wider than the column.
void CListBox::PaintGutter(QPainter& painter, int first, int last) {
  QWidget* view = viewport();
  const QFontMetrics metrics = view->fontMetrics();
  const QRect gutter(0, 0, d->TextArea().left(), view->height());
  if (gutter.isEmpty()) return;
  painter.save();
  painter.setClipRect(gutter);
  painter.setPen(palette().color(QPalette::PlaceholderText));
  std::vector<QString>& texts = d->vGutterTexts;
  for (int i = first; i <= last; ++i) {
    // Sized anew for each row: the owner may have resized the vector.
    texts.resize(d->vGutterColumns.size());
    for (QString& text : texts) text.clear();
    d->pGutter->RowTexts(i, texts);
    const int baseline = (i - d->nTop) * d->nRowHeight + metrics.ascent();
    const std::size_t columns = std::min(texts.size(), d->vGutterColumns.size());
    for (std::size_t c = 0; c < columns; ++c) {
      Private::GutterColumn& column = d->vGutterColumns[c];
      if (column.nLeft >= gutter.right()) break;
      QString& text = texts[c];
      if (text.isEmpty()) continue;
      // Measuring is the cost of a row: a text far longer than any column
      // shows (a sender's name as its program told it) is cut first.
      if (text.size() > kMaxGutterText) text.truncate(kMaxGutterText);
      const bool again = text == column.strLast;
      if (!again) {
        column.strLast = text;
        column.laidOut.reset();
        column.nShownWidth = d->GutterTextWidth(text);
        if (column.nShownWidth > column.nWidth) {
          text = metrics.elidedText(text, Qt::ElideRight, column.nWidth);
          column.nShownWidth = metrics.horizontalAdvance(text);
        }
        column.strShown = text;
      }
      const int left = column.bAlignRight ? column.nLeft + column.nWidth - column.nShownWidth : column.nLeft;
      if (!again) {
        painter.drawText(QPoint(left, baseline), column.strShown);
        continue;
      }
      if (!column.laidOut) {
        column.laidOut.emplace(column.strShown);
        column.laidOut->setTextFormat(Qt::PlainText);
        column.laidOut->prepare(QTransform(), view->font());
      }
      painter.drawStaticText(QPoint(left, baseline - metrics.ascent()), *column.laidOut);
    }
  }
  painter.restore();
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
    d->vIndentLooks.clear();
    d->LayOutGutter();
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
