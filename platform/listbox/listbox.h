// A multiple-selection list box built to hold millions of lines: the LB_
// operations of the handheld's LISTBOX with LBS_MULTIPLESEL semantics.
//
// - A tap (mouse press) toggles that line's selection and makes it the caret
//   line; Up/Down/PageUp/PageDown/Home/End move the caret; Space toggles the
//   caret line's selection. The caret line is framed by a dotted rectangle
//   whether or not it is selected and whether or not the list has the focus.
// - Both scroll bars are always shown and are disabled while there is
//   nothing to scroll (LBS_DISABLENOSCROLL), so the rows never move because
//   a bar comes or goes.
// - Lines are stored compactly (see CLineStore); only visible rows are
//   painted, and layout work after an append is coalesced to the next paint,
//   so appending costs the same whatever the number of lines held.
// - An owner may indent lines: a line is then shown after an indent string
//   repeated depth times, which is produced when the line is read or painted
//   and never stored.
// - The horizontal extent is set by the owner (LB_SETHORIZONTALEXTENT, or
//   from a line the owner names), it is not derived from the lines.
// - Each line carries a stamp (SLineStamp) that is never part of its text.
//   An owner may show stamps, or anything else per row, in a gutter
//   (IListGutter): columns at the left of every row that scroll up and down
//   with the rows but stay in place when the text scrolls sideways. The
//   text area starts after the gutter; the horizontal scroll range, the
//   selection highlight and the caret's frame belong to the text area.
#pragma once

#include "platform/listbox/linestore.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace zef {

// Columns drawn before the text of each row: they belong to the row, not
// to its line (GetText, the searches and the selection never see them).
class IListGutter {
 public:
  struct SColumn {
    QString strSample;  // the widest text the column is laid out for; longer texts are cut with "…"
    bool bAlignRight = false;
  };
  virtual ~IListGutter() = default;
  virtual std::vector<SColumn> Columns() const = 0;
  // The text of each column for line `index` (valid); `texts` has Columns().size() entries.
  virtual void RowTexts(int index, std::vector<QString>& texts) const = 0;
};

enum : int { LB_ERR = -1 };
enum : int { SB_HORZ = 0, SB_VERT = 1 };
enum : int { SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_TOP = 6, SB_BOTTOM = 7 };

class CListBox : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CListBox(QWidget* parent = nullptr);
  ~CListBox() override;

  // LB_ADDSTRING / LB_INSERTSTRING (index -1 appends) / LB_RESETCONTENT.
  // Virtual so that an owner can rewrite lines before they are stored.
  virtual int AddString(const QString& line);
  virtual int InsertString(int index, const QString& line);
  virtual void ResetContent();

  // As AddString and InsertString, for a line shown after the indent string
  // repeated `depth` times (none at 0 or below) and kept with `stamp`.
  // GetText, GetTextLen and the searches see the indent as part of the line,
  // never the stamp.
  int AddIndentedString(const QString& line, int depth, const SLineStamp& stamp = {});
  int InsertIndentedString(int index, const QString& line, int depth, const SLineStamp& stamp = {});
  // The stamp of line `index` as CLineStore::Stamp keeps it; a default
  // stamp for a bad index.
  SLineStamp GetStamp(int index) const;
  // The indent string of lines added from now on (two spaces until set);
  // lines already in the list keep theirs.
  void SetIndentString(const QString& indent);

  int GetCount() const;                                // LB_GETCOUNT
  int GetCurSel() const;                               // LB_GETCURSEL: the caret line, or LB_ERR
  void SetCaretIndex(int index);                       // LB_SETCARETINDEX
  int GetSelCount() const;                             // LB_GETSELCOUNT
  std::vector<int> GetSelItems(int maxItems) const;    // LB_GETSELITEMS, ascending
  bool GetSel(int index) const;                        // LB_GETSEL
  int SetSel(bool select, int index);                  // LB_SETSEL; index -1 means every line
  int SelItemRange(bool select, int first, int last);  // LB_SELITEMRANGE, both ends included
  int GetTextLen(int index) const;                     // LB_GETTEXTLEN, LB_ERR for a bad index
  QString GetText(int index) const;                    // LB_GETTEXT, empty for a bad index
  // The line's own text: as GetText, without the indent its depth puts
  // before it. Empty for a bad index.
  QString GetOwnText(int index) const;
  int GetTopIndex() const;               // LB_GETTOPINDEX
  int SetTopIndex(int index);            // LB_SETTOPINDEX
  void SetHorizontalExtent(int pixels);  // LB_SETHORIZONTALEXTENT
  // LB_SETHORIZONTALEXTENT with the pixel width of `line` shown at `depth`
  // after the current indent string, plus `margin`: measured in the list's
  // font when the extent is next needed (a query, the scroll bars, a paint),
  // so that a run of ever longer lines is measured once per frame.
  void SetHorizontalExtentFromLine(const QString& line, int depth, int margin);
  int GetHorizontalExtent() const;  // LB_GETHORIZONTALEXTENT

  // Whether line `index` holds `ch` anywhere (no copy of the line is made).
  bool LineContains(int index, char16_t ch) const;
  // The first line from `from` stepping by `step` (+1 or -1), `from`
  // included, that contains `needle`; LB_ERR when the search runs off the
  // end. Used by Find and Mark Block; no line is copied.
  int FindContaining(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const;

  // The vertical and horizontal scroll bars as GetScrollRange, SetScrollPos
  // and WM_VSCROLL see them. Scroll positions are in lines (vertical) and
  // pixels (horizontal).
  void GetScrollRange(int bar, int* minPos, int* maxPos) const;
  int SetScrollPos(int bar, int pos, bool redraw);
  int GetScrollPos(int bar) const;
  void OnVScroll(int code);

  // The gutter to draw (null: none). Not owned: the owner keeps it alive
  // while it is set. Lays the gutter out from Columns() and repaints.
  void SetGutter(const IListGutter* gutter);
  // Columns() or the texts of shown rows changed: measure again, repaint.
  // Until then the list asks for as many texts as Columns() had when last
  // measured.
  void GutterChanged();

  // --- The shown lines: a filter over the held ones ---
  // While a filter is set, the list shows only the held lines it lets
  // through, and every index this class takes or returns (GetCount, the
  // texts and stamps, the caret, the selection, the top index, the scroll
  // range, the searches, the gutter's RowTexts) counts shown lines,
  // 0 .. GetCount() - 1; owners act on what is shown without knowing of
  // the filter. Without one, shown and held lines are the same and nothing
  // is spent on the mapping.
  // - A line added while a filter is set is judged as it comes in; a hidden
  //   one costs no layout and no paint. AddString and InsertString return
  //   its shown index, or LB_ERR when the filter hides it.
  // - Selection marks belong to held lines: a hidden line keeps its mark
  //   but is neither counted nor changed by the selection calls (SetSel
  //   with -1 selects the shown lines only), and shows it again when it is
  //   shown again.
  // - When the shown lines change, the caret goes to the shown line nearest
  //   the held line it was on (the earlier one on a tie), and the top row
  //   to the first shown line at or after the held line that was on top.
  // - The filter is called on the UI thread for appended lines, and from
  //   several threads at once while the lines are judged again: it must be
  //   safe to call concurrently and must not touch the list.
  // - The filter keeps a 32-bit held index per shown line, 4 bytes per
  //   held line once judged (a vector's usual growth room on top while
  //   shown lines arrive); ResetContent clears it (the filter stays set).
  using LineFilter = std::function<bool(const SHeldLine&)>;
  // Sets the filter (empty: every line shown) and judges every held line,
  // or with `narrowing` (the new filter lets through no line the old one
  // hid) only the shown ones.
  void SetLineFilter(LineFilter shows, bool narrowing = false);
  // Judges the lines again with the filter set, as SetLineFilter does: for
  // an owner whose filter changed its mind in place.
  void Refilter(bool narrowing);
  bool HasLineFilter() const;
  int GetHeldCount() const;  // every held line, shown or not
  // Between held and shown indices; LB_ERR for a bad index or a hidden line.
  int HeldIndex(int shown) const;
  int ShownIndex(int held) const;
  // The background of a shown row's text area, unless it is selected (an
  // invalid colour: none). Called for painted rows only, on the UI thread.
  using RowBackground = std::function<QColor(const SHeldLine&)>;
  void SetRowBackground(RowBackground background);
  // A text painted after a shown row's text, in the gutter's dimmer ink
  // (empty: none). Like the gutter it belongs to the row, not to the line:
  // GetText, the searches and the selection never see it. Called for
  // painted rows only, on the UI thread.
  using RowSuffix = std::function<QString(const SHeldLine&)>;
  void SetRowSuffix(RowSuffix suffix);

  // --- Hidden stretches of held lines ---
  // Held ranges that are not shown whatever the filter says: an owner's
  // folded calls. They count as a filter (the indices count shown lines,
  // HasLineFilter is true while any is set), and combine with one: a line
  // is shown when the filter lets it through and no range hides it. A range
  // moves with the held lines on an insert before it and when the oldest
  // are dropped, and goes once all of its lines went. ResetContent clears
  // them.
  // Hides `ranges` (ascending, disjoint; parts past the held lines are cut)
  // and shows again the lines only the old ones hid. Only the lines whose
  // hiding changed are looked at: hiding lists nothing anew, showing judges
  // only the lines shown again, so folding a call of a million lines costs
  // about one pass over the shown list's index. A caret or top row whose
  // line becomes hidden goes to the shown line before the range that hides
  // it (the first shown line after, when there is none before).
  void SetHiddenRanges(std::vector<SHeldRange> ranges);
  const std::vector<SHeldRange>& HiddenRanges() const;
  // The indent depth of shown line `index`; 0 for a bad index.
  int GetDepth(int index) const;

  // Bytes held by the line store (for the benchmarks).
  std::size_t MemoryUsed() const;

  // --- A bound on the held lines' memory ---
  // With a limit (0: none, the default), each time the store starts a new
  // segment and holds more than `bytes`, its oldest whole segments go. The
  // caret, the selection marks and the top row stay on their lines (a caret
  // or top row whose line went goes to the first line left), and the shown
  // lines keep being the same lines. Lowering the limit applies at once.
  void SetMemoryLimit(std::size_t bytes);
  // Held lines dropped by the limit since the content was last reset.
  qint64 DroppedLines() const;

 protected:
  // `held` held lines, `shown` of them shown, were dropped by the memory
  // limit; every index has already moved up.
  virtual void LinesDropped(int held, int shown);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;

 private:
  struct Private;
  Private* d;
};

}  // namespace zef
