// The Database settings dialog (template 136): the line length of database
// listings and the second confirmation of deletions.
#pragma once

#include "platform/dialog/dialog.h"

namespace zef {

// Section "Init.Database".
struct CDatabaseSettings {
  int m_nMaxLineLength = 179;
  bool m_bConfirmTwice = true;
};

class CDatabaseSettingsDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  // The line lengths that OK accepts, both included.
  static constexpr int kMinLineLength = 32;
  static constexpr int kMaxLineLength = 1024;

  explicit CDatabaseSettingsDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  int m_nMaxLineLength = 0;
  int m_bConfirmTwice = 0;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
};

// Runs the dialog on `settings`; on OK writes the confirmed values back and
// returns true, otherwise leaves `settings` as it was. A line length outside
// 32..1024 is shown as it is, but OK refuses it.
bool RunDatabaseSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CDatabaseSettings& settings);

}  // namespace zef
