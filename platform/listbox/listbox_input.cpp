// The list box's caret and selection, and the mouse and keys that move
// and toggle them.
#include "platform/listbox/listbox_p.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace zef {

void CListBox::Private::MoveCaret(int index) {
  if (store.Count() == 0) return;
  UpdateRow(nCaret);
  nCaret = std::clamp(index, 0, store.Count() - 1);
  EnsureVisible(nCaret);
  UpdateRow(nCaret);
}

void CListBox::Private::ToggleSelection(int index) {
  store.SetSelected(index, !store.IsSelected(index));
  UpdateRow(index);
}

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
