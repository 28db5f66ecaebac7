#include "tools/menubutton.h"

#include <QMenu>

namespace zef {

bool CMenuButton::SubclassDlgItem(int id, CDialog& dialog) {
  if (m_pButton) return true;
  auto* button = qobject_cast<QPushButton*>(dialog.GetDlgItem(id));
  if (button == nullptr) return false;
  // The dialog hears of clicks through a connection of its own; the button
  // alone handles them now.
  QObject::disconnect(button, &QAbstractButton::clicked, &dialog, nullptr);
  connect(button, &QAbstractButton::clicked, this, &CMenuButton::OnClicked);
  // A click leaves the focus where it was, so that after picking from the
  // popup Enter goes on acting on the field being edited rather than
  // opening the popup again. The keyboard still reaches it with Tab.
  button->setFocusPolicy(Qt::TabFocus);
  m_pButton = button;
  return true;
}

bool CMenuButton::LoadMenu(std::uint32_t id) { return m_menu.LoadMenu(id); }

std::optional<QPoint> CMenuButton::PopupPosition(int placement, const CRect& buttonRect, int popupHeight) {
  switch (placement) {
    case kBelow:
      return QPoint(buttonRect.left, buttonRect.bottom);
    case kAbove:
      return QPoint(buttonRect.left, buttonRect.top - popupHeight);
    case kRight:
      return QPoint(buttonRect.right, buttonRect.top);
    default:
      return std::nullopt;
  }
}

void CMenuButton::OnClicked() {
  if (!m_pButton) return;
  QMenu* popup = m_menu.GetSubMenu(m_nSubMenuIndex);
  if (popup == nullptr) return;
  const QPoint topLeft = m_pButton->mapToGlobal(QPoint(0, 0));
  const CRect rect{topLeft.x(), topLeft.y(), topLeft.x() + m_pButton->width(), topLeft.y() + m_pButton->height()};
  const std::optional<QPoint> position = PopupPosition(m_nPlacement, rect, popup->sizeHint().height());
  if (!position) return;
  // The popup's owner is the button's dialog: the command picked goes
  // there; picking nothing sends nothing.
  const CommandId picked = CommandOf(popup->exec(*position));
  auto* owner = qobject_cast<CDialog*>(m_pButton->window());
  if (picked != CommandId::None && owner != nullptr) owner->WindowProc(WM_COMMAND, ToUInt(picked), 0);
}

void DDX_Control(CDataExchange& dx, int id, CMenuButton& button) {
  if (dx.Failed()) return;
  button.SubclassDlgItem(id, dx.Dialog());
}

}  // namespace zef
