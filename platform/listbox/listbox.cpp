#include "platform/listbox/listbox.h"

#include "platform/listbox/listbox_p.h"
#include "platform/listbox/quietscrollbar.h"

#include <malloc.h>

#include <climits>

namespace zef {

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
  int index = d->store.Append(line, depth, stamp);
  // A new segment was started: the one before it is sealed, and its size
  // counts against the limit.
  if (d->nMemoryLimit != 0 && d->store.SegmentCount() != d->nCheckedSegments) index -= d->KeepWithinLimit();
  if (d->bFiltered && (index = d->Admit(index, false)) < 0) return LB_ERR;
  d->MarkLayoutDirty();
  d->UpdateRow(index);
  return index;
}

int CListBox::InsertIndentedString(int index, const QString& line, int depth, const SLineStamp& stamp) {
  const int count = d->Count();
  if (index < -1 || index > count || d->store.Count() == INT_MAX) return LB_ERR;
  if (index == -1) index = count;
  // Before the shown line at `index`, or after every held line.
  const int held = index < count ? d->Held(index) : d->store.Count();
  d->store.Insert(held, line, depth, stamp);
  if (d->bFiltered && (index = d->Admit(held, true)) < 0) return LB_ERR;
  // The caret stays on its line.
  if (count > 0 && index <= d->nCaret) ++d->nCaret;
  d->MarkLayoutDirty();
  if (index < d->nTop + d->ShownRows()) d->UpdateAll();
  return index;
}

SLineStamp CListBox::GetStamp(int index) const {
  return d->IsValid(index) ? d->store.Stamp(d->Held(index)) : SLineStamp{};
}

void CListBox::SetIndentString(const QString& indent) { d->store.SetIndent(indent); }

void CListBox::ResetContent() {
  d->store.Clear();
  d->vShown = {};
  d->vHidden.clear();
  d->bFiltered = bool(d->filter);
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
  d->nCheckedSegments = 0;
  d->nDropped = 0;
  d->MarkLayoutDirty();
  d->UpdateAll();
}

int CListBox::GetCount() const { return d->Count(); }

int CListBox::GetTextLen(int index) const { return d->IsValid(index) ? d->store.Length(d->Held(index)) : LB_ERR; }

QString CListBox::GetText(int index) const { return d->IsValid(index) ? d->store.Text(d->Held(index)) : QString(); }

QString CListBox::GetOwnText(int index) const {
  return d->IsValid(index) ? d->store.OwnText(d->Held(index)) : QString();
}

bool CListBox::LineContains(int index, char16_t ch) const {
  return d->IsValid(index) && d->store.Contains(d->Held(index), ch);
}

int CListBox::FindContaining(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const {
  if (!d->IsValid(from)) return LB_ERR;
  const int found = d->store.Find(d->Held(from), step, needle, cs, d->bFiltered ? &d->vShown : nullptr);
  return found < 0 ? LB_ERR : d->bFiltered ? d->ShownFrom(found) : found;
}

void CListBox::SetGutter(const IListGutter* gutter) {
  d->gutter.Set(gutter);
  GutterChanged();
}

void CListBox::GutterChanged() {
  d->gutter.LayOut(viewport());
  d->MarkLayoutDirty();
  d->UpdateAll();
}

std::size_t CListBox::MemoryUsed() const { return d->store.MemoryUsed(); }

void CListBox::SetMemoryLimit(std::size_t bytes) {
  const bool lowered = bytes != 0 && (d->nMemoryLimit == 0 || bytes < d->nMemoryLimit);
  d->nMemoryLimit = bytes;
  if (lowered) d->KeepWithinLimit();
}

qint64 CListBox::DroppedLines() const { return d->nDropped; }

void CListBox::LinesDropped(int, int) {}

int CListBox::Private::KeepWithinLimit() {
  const int held = store.DropOldest(nMemoryLimit);
  nCheckedSegments = store.SegmentCount();
  if (held == 0) return 0;
  nDropped += held;
  const int shown = Forget(held);
  // The rows on screen are the same lines as before unless the top one went.
  if (nTop < shown) UpdateAll();
  nCaret = std::max(0, nCaret - shown);
  nTop = std::max(0, nTop - shown);
  // The bars at once: one the user drags before the next layout pass would
  // otherwise move the view by the lines that went.
  SyncScrollBars();
  q->LinesDropped(held, shown);
  return held;
}

}  // namespace zef
