// Painting the list box's rows: the text area row by row, indents drawn
// from their measured look, an owner's suffix after the text, the gutter
// beside them.
#include "platform/listbox/listbox_p.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace zef {

const CListBox::Private::IndentLook& CListBox::Private::LookOf(const QString& indent) {
  for (const IndentLook& look : vIndentLooks)
    if (look.pData == indent.constData() && look.nSize == indent.size()) return look;
  const bool blank = std::all_of(indent.begin(), indent.end(), [](QChar c) { return c.isSpace(); });
  const qreal width = QFontMetricsF(q->viewport()->font()).horizontalAdvance(indent);
  return vIndentLooks.emplace_back(IndentLook{indent.constData(), indent.size(), width, blank});
}

qreal CListBox::Private::PaintIndent(QPainter& painter, qreal x, int left, int baseline, int depth,
                                     const QString& indent) {
  const IndentLook& look = LookOf(indent);
  const qreal end = x + depth * look.width;
  if (look.bBlank || look.width <= 0) return end;
  const qint64 first = x < left ? qint64((left - x) / look.width) : 0;
  const qint64 last = std::min<qint64>(depth, qint64((q->viewport()->width() - x) / look.width) + 1);
  if (first < last) painter.drawText(QPointF(x + first * look.width, baseline), indent.repeated(last - first));
  return end;
}

void CListBox::paintEvent(QPaintEvent* event) {
  d->lastPaint.start();
  d->bFullUpdatePending = false;
  d->bScrollPending = false;
  if (d->bLayoutDirty) d->SyncScrollBars();
  QPainter painter(viewport());
  // Only the rows that meet the region to paint.
  const QRect area = event->rect();
  const int first = d->nTop + std::max(0, area.top()) / d->nRowHeight;
  const int last = std::min(d->Count() - 1, d->nTop + std::max(0, area.bottom()) / d->nRowHeight);
  if (!d->gutter.IsEmpty()) {
    const QRect textArea = d->TextArea();
    d->gutter.Paint(painter, viewport(), textArea.left(), palette().color(QPalette::PlaceholderText), first, last,
                    d->nTop, d->nRowHeight);
    // The text, shifted by the horizontal scroll, must not run into it.
    painter.setClipRect(textArea);
  }
  d->PaintRows(painter, first, last);
}

void CListBox::Private::PaintRows(QPainter& painter, int first, int last) {
  const QWidget* view = q->viewport();
  const QFontMetrics metrics = view->fontMetrics();
  const int rowHeight = nRowHeight;
  const int width = view->width();
  const QPalette& pal = q->palette();
  const QRect textArea = TextArea();
  const int x = textArea.left() + kTextMargin - nHPos;
  for (int i = first; i <= last; ++i) {
    const QRect row(textArea.left(), (i - nTop) * rowHeight, textArea.width(), rowHeight);
    const int held = Held(i);
    const bool selected = store.IsSelected(held);
    if (selected) {
      painter.fillRect(row, pal.brush(QPalette::Highlight));
    } else if (background) {
      const QColor fill = background(store.Line(held));
      if (fill.isValid()) painter.fillRect(row, fill);
    }
    const QColor ink = pal.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter.setPen(ink);
    const int baseline = row.top() + metrics.ascent();
    const int depth = store.Depth(held);
    const qreal textX = depth > 0 ? PaintIndent(painter, x, textArea.left(), baseline, depth, store.IndentOf(held)) : x;
    const QString own = store.OwnText(held);
    if (textX < width) painter.drawText(QPointF(textX, baseline), own);
    if (suffix) {
      // After the text and a space, in the gutter's ink unless selected.
      const QString more = suffix(store.Line(held));
      const QFontMetricsF exact(view->font());
      const qreal moreX = more.isEmpty() ? width : textX + exact.horizontalAdvance(own) + exact.horizontalAdvance(u' ');
      if (moreX < width) {
        painter.setPen(selected ? ink : pal.color(QPalette::PlaceholderText));
        painter.drawText(QPointF(moreX, baseline), more);
      }
    }
    if (i == nCaret) {
      // The caret, as the platform's list draws its focus rectangle.
      QPen dotted(ink, 0, Qt::DotLine);
      painter.setPen(dotted);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(row.adjusted(0, 0, -1, -1));
    }
  }
}

}  // namespace zef
