// The list box's gutter as laid out and painted: the columns an owner's
// IListGutter describes, placed in the list's font, and the texts of the
// visible rows drawn in them.
#pragma once

#include "platform/listbox/listbox.h"

#include <QStaticText>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class QColor;
class QFontMetrics;
class QPainter;
class QWidget;

namespace zef {

class CListGutterView {
 public:
  // The gutter to draw (null: none); lay out again after setting it.
  void Set(const IListGutter* gutter) { m_pGutter = gutter; }
  // Measures the columns in the font of `view`, the list's viewport.
  void LayOut(const QWidget* view);
  // Where the text area begins: 0 without a gutter or without columns.
  int Width() const { return m_nWidth; }
  bool IsEmpty() const { return m_vColumns.empty(); }
  // Rows first..last (valid lines) in `ink`, row `top` at the top of
  // `view`, within the `width` pixels at its left: each text left or right
  // in its column, cut with "…" where wider than the column.
  void Paint(QPainter& painter, const QWidget* view, int width, const QColor& ink, int first, int last, int top,
             int rowHeight);

 private:
  // A column's edges are whole pixels so that every row puts its texts in
  // the same places.
  struct SColumn {
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
  // One text of a row, `text` as RowTexts gave it (cut in place).
  void PaintText(QPainter& painter, const QWidget* view, const QFontMetrics& metrics, SColumn& column, QString& text,
                 int baseline);
  int TextWidth(const QWidget* view, const QString& text);

  const IListGutter* m_pGutter = nullptr;
  std::vector<SColumn> m_vColumns;
  std::vector<QString> m_vTexts;  // handed to RowTexts for each painted row
  int m_nWidth = 0;
  // Advances of the Latin-1 characters in the list's font, measured when
  // first needed: the width of a gutter text (digits, a program's name)
  // is their sum, with no shaping. Kerning is left out; a right-aligned
  // text may sit a fraction of a pixel off.
  std::array<qreal, 256> m_vLatin1Advances{};
};

}  // namespace zef
