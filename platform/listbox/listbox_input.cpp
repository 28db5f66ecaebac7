// The list box's caret and selection, and the mouse and keys that move
// and toggle them.
#include "platform/listbox/listbox_p.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <climits>

namespace zef {

void CListBox::Private::MoveCaret(int index) {
  if (Count() == 0) return;
  UpdateRow(nCaret);
  nCaret = std::clamp(index, 0, Count() - 1);
  EnsureVisible(nCaret);
  UpdateRow(nCaret);
}

void CListBox::Private::ToggleSelection(int index) {
  const int held = Held(index);
  store.SetSelected(held, !store.IsSelected(held));
  UpdateRow(index);
}

int CListBox::GetCurSel() const { return d->Count() == 0 ? LB_ERR : d->nCaret; }

void CListBox::SetCaretIndex(int index) {
  if (d->IsValid(index)) d->MoveCaret(index);
}

int CListBox::GetSelCount() const {
  if (!d->bFiltered) return d->store.SelectedCount();
  return int(GetSelItems(INT_MAX).size());
}

std::vector<int> CListBox::GetSelItems(int maxItems) const {
  std::vector<int> items = d->store.SelectedItems(d->bFiltered ? INT_MAX : maxItems);
  if (!d->bFiltered) return items;
  // The marked held lines that are shown, renumbered; both lists ascend.
  std::size_t kept = 0;
  auto shown = d->vShown.begin();
  for (const int held : items) {
    if (int(kept) == maxItems) break;
    shown = std::lower_bound(shown, d->vShown.end(), std::uint32_t(held));
    if (shown == d->vShown.end()) break;
    if (*shown == std::uint32_t(held)) items[kept++] = int(shown - d->vShown.begin());
  }
  items.resize(kept);
  return items;
}

bool CListBox::GetSel(int index) const { return d->IsValid(index) && d->store.IsSelected(d->Held(index)); }

int CListBox::SetSel(bool select, int index) {
  if (index == -1) {
    if (!d->bFiltered) d->store.SetAllSelected(select);
    else
      for (const std::uint32_t held : d->vShown) d->store.SetSelected(int(held), select);
    d->UpdateAll();
  } else {
    if (!d->IsValid(index)) return LB_ERR;
    // Neither the caret line nor the view moves: Mark Block and Find select
    // lines without changing where the next search starts.
    d->store.SetSelected(d->Held(index), select);
    d->UpdateRow(index);
  }
  return 0;
}

int CListBox::SelItemRange(bool select, int first, int last) {
  if (first > last) std::swap(first, last);
  if (!d->IsValid(first) || !d->IsValid(last)) return LB_ERR;
  // As SetSel for each line, without finding each line anew.
  if (!d->bFiltered) d->store.SetRangeSelected(first, last, select);
  else
    for (int i = first; i <= last; ++i) d->store.SetSelected(d->Held(i), select);
  if (last >= d->nTop && first < d->nTop + d->ShownRows()) d->UpdateAll();
  return 0;
}

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
  const int count = d->Count();
  // A page move keeps one row of context, as the platform list does.
  const int page = std::max(1, d->FullRows() - 1);
  switch (event->key()) {
    case Qt::Key_Up:
      d->MoveCaret(d->nCaret - 1);
      break;
    case Qt::Key_Down:
      d->MoveCaret(d->nCaret + 1);
      break;
    case Qt::Key_PageUp:
      d->MoveCaret(d->nCaret - page);
      break;
    case Qt::Key_PageDown:
      d->MoveCaret(d->nCaret + page);
      break;
    case Qt::Key_Home:
      d->MoveCaret(0);
      break;
    case Qt::Key_End:
      d->MoveCaret(count - 1);
      break;
    case Qt::Key_Space:
      if (count > 0) {
        d->ToggleSelection(d->nCaret);
      }
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

bool CListBox::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) d->FontChanged();
  // The press did the work; the release is taken so it does not travel on.
  if (event->type() == QEvent::MouseButtonRelease) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace zef
