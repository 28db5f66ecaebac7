#include "platform/listbox/listgutterview.h"

#include "platform/listbox/listbox_p.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

// The most UTF-16 units of a gutter text that are measured and drawn.
constexpr qsizetype kMaxGutterText = 256;

}  // namespace

void CListGutterView::LayOut(const QWidget* view) {
  m_vColumns.clear();
  m_nWidth = 0;
  if (m_pGutter) {
    const QFontMetricsF metrics(view->font());
    // Between columns and before the text area, about one character.
    const int gap = std::max(4, view->fontMetrics().averageCharWidth());
    // Far wider than any screen, and far from overflowing when added to.
    constexpr qint64 kMaxGutter = 1 << 24;
    qint64 x = kTextMargin;
    for (const IListGutter::SColumn& column : m_pGutter->Columns()) {
      if (x >= kMaxGutter) break;
      const qint64 width = std::min<qint64>(qint64(std::ceil(metrics.horizontalAdvance(column.strSample))), kMaxGutter);
      SColumn& laid = m_vColumns.emplace_back();
      laid.nLeft = int(x);
      laid.nWidth = int(width);
      laid.bAlignRight = column.bAlignRight;
      x += width + gap;
    }
    if (!m_vColumns.empty()) m_nWidth = int(std::min(x, kMaxGutter));
  }
  m_vTexts.assign(m_vColumns.size(), QString());
  m_vLatin1Advances.fill(-1);
}

int CListGutterView::TextWidth(const QWidget* view, const QString& text) {
  qreal width = 0;
  for (const QChar c : text) {
    if (c.unicode() > 0xFF) return view->fontMetrics().horizontalAdvance(text);
    qreal& advance = m_vLatin1Advances[c.unicode()];
    if (advance < 0) advance = QFontMetricsF(view->font()).horizontalAdvance(c);
    width += advance;
  }
  return int(std::ceil(width));
}

void CListGutterView::Paint(QPainter& painter, const QWidget* view, int width, const QColor& ink, int first, int last,
                            int top, int rowHeight) {
  const QRect gutter(0, 0, width, view->height());
  if (gutter.isEmpty()) return;
  const QFontMetrics metrics = view->fontMetrics();
  painter.save();
  painter.setClipRect(gutter);
  painter.setPen(ink);
  std::vector<QString>& texts = m_vTexts;
  for (int i = first; i <= last; ++i) {
    // Sized anew for each row: the owner may have resized the vector.
    texts.resize(m_vColumns.size());
    for (QString& text : texts) text.clear();
    m_pGutter->RowTexts(i, texts);
    const int baseline = (i - top) * rowHeight + metrics.ascent();
    const std::size_t columns = std::min(texts.size(), m_vColumns.size());
    for (std::size_t c = 0; c < columns; ++c) {
      SColumn& column = m_vColumns[c];
      if (column.nLeft >= gutter.right()) break;
      if (!texts[c].isEmpty()) PaintText(painter, view, metrics, column, texts[c], baseline);
    }
  }
  painter.restore();
}

void CListGutterView::PaintText(QPainter& painter, const QWidget* view, const QFontMetrics& metrics, SColumn& column,
                                QString& text, int baseline) {
  // Measuring is the cost of a row: a text far longer than any column
  // shows (a sender's name as its program told it) is cut first.
  if (text.size() > kMaxGutterText) text.truncate(kMaxGutterText);
  const bool again = text == column.strLast;
  if (!again) {
    column.strLast = text;
    column.laidOut.reset();
    column.nShownWidth = TextWidth(view, text);
    if (column.nShownWidth > column.nWidth) {
      text = metrics.elidedText(text, Qt::ElideRight, column.nWidth);
      column.nShownWidth = metrics.horizontalAdvance(text);
    }
    column.strShown = text;
  }
  const int left = column.bAlignRight ? column.nLeft + column.nWidth - column.nShownWidth : column.nLeft;
  if (!again) {
    painter.drawText(QPoint(left, baseline), column.strShown);
    return;
  }
  if (!column.laidOut) {
    column.laidOut.emplace(column.strShown);
    column.laidOut->setTextFormat(Qt::PlainText);
    column.laidOut->prepare(QTransform(), view->font());
  }
  painter.drawStaticText(QPoint(left, baseline - metrics.ascent()), *column.laidOut);
}

}  // namespace zef
