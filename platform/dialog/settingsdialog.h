// A settings dialog over one settings section, and the one way to run it.
//
//   // mydlg.h, beside the section:
//   using CMyDlg = CSectionDlg<CMySection, DialogTemplateId::Mine>;
//   void ExchangeControls(CDataExchange& dx, CMySection& section);
//   // mydlg.cpp:
//   void ExchangeControls(CDataExchange& dx, CMySection& section) {
//     DDX_Check(dx, IDC_MY_FLAG, section.m_bFlag);
//   }
//   // the command:
//   RunSettingsDialog<CMyDlg>(parent, section, lookAndFeel);
//
// The dialog binds the fields of its own copy of the section; the section
// itself changes only when the dialog ends with OK. A dialog that does more
// (answers a click, presents itself otherwise) derives from CSectionDlg.
#pragma once

#include "platform/dialog/dialog.h"

#include <utility>

namespace zef {

template <class TSection, DialogTemplateId kTemplate>
class CSectionDlg : public CSettingsDlg {
 public:
  using Section = TSection;

  explicit CSectionDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr)
      : CSettingsDlg(kTemplate, lookAndFeel, parent) {}

  // The copy the controls are filled from and read back into; fields the
  // dialog does not bind keep the values they were given.
  TSection m_section;

 protected:
  // The section's own ExchangeControls, declared beside its dialog.
  void DoDataExchange(CDataExchange& dx) override { ExchangeControls(dx, m_section); }
};

// Runs a TDlg built from `args` and `parent` on a copy of `section`; on OK
// writes the whole copy back and returns true, otherwise leaves `section`
// as it was.
template <class TDlg, class... TArgs>
bool RunSettingsDialog(QWidget* parent, typename TDlg::Section& section, TArgs&&... args) {
  TDlg dlg(std::forward<TArgs>(args)..., parent);
  dlg.m_section = section;
  if (dlg.DoModal() != IDOK) return false;
  section = dlg.m_section;
  return true;
}

}  // namespace zef
