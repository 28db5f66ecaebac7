// A push button that opens a popup menu when it is clicked. The command the
// user picks goes to the dialog that holds the button; the click itself
// never reaches the dialog.
//
//   DDX_Control(dx, IDC_CALC_MENU, m_menuButton);   // in DoDataExchange
//   m_menuButton.LoadMenu(IDR_CALCMENU);            // popup 0, below the button
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/dialog/menu.h"

#include <QObject>
#include <QPointer>

#include <optional>

namespace zef {

class CMenuButton : public QObject {
  Q_OBJECT

 public:
  // Where the popup opens: below the button, left edges aligned (0); above
  // it, left edges aligned (1); to its right, top edges aligned (2). Any
  // other placement opens nothing.
  enum Placement : int { kBelow = 0, kAbove = 1, kRight = 2 };

  CMenuButton() = default;

  // Takes over push button `id` of `dialog`, once: from then on its clicks
  // open the popup and no longer reach the dialog as command `id`, and a
  // click leaves the focus where it was. False when the dialog has no push
  // button `id`.
  bool SubclassDlgItem(int id, CDialog& dialog);
  QPushButton* GetButton() const { return m_pButton; }

  // Loads menu resource `id`; its top-level popups are what the button can
  // open. False for an id that is not a menu.
  bool LoadMenu(std::uint32_t id);
  void SetPlacement(int placement) { m_nPlacement = placement; }
  // Which top-level popup of the menu opens (0 at construction).
  void SetSubMenuIndex(int index) { m_nSubMenuIndex = index; }

  // Top-left corner, in screen coordinates, of a popup `popupHeight` pixels
  // high that opens at `placement` beside a button at `buttonRect`; none for
  // a placement that opens nothing.
  static std::optional<QPoint> PopupPosition(int placement, const CRect& buttonRect, int popupHeight);

  // The click: opens the popup, and sends the picked command (if any) to
  // the dialog as WM_COMMAND.
  void OnClicked();

 private:
  CMenu m_menu;
  int m_nPlacement = kBelow;
  int m_nSubMenuIndex = 0;
  QPointer<QPushButton> m_pButton;
};

// Binds `button` to push button `id` of the exchange's dialog (once).
void DDX_Control(CDataExchange& dx, int id, CMenuButton& button);

}  // namespace zef
