// The Sources dialog (template 139): the sources the monitor runs besides
// its socket, each switched on or off by its check box.
//
//   RunSettingsDialog<CSourcesDlg>(parent, sourceSettings, lookAndFeel);
//
// The template gives the frame (caption "ok", Cancel); the body is built
// here: the list with Add and Remove, and below it the editor of the
// selected source (kind, file, matches or directory with a chooser, how it
// starts, whether it is kept for later starts). Sources from the command
// line are listed as such and kept only when the user says so. An edit
// changes the dialog's copy; the section is written back only on OK, which
// a source that cannot run holds back with the reason shown. A file or
// directory given without a full path is taken from the working directory.
#pragma once

#include "platform/dialog/dialog.h"
#include "sources/sourcesettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace zef {

class CSourcesDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  using Section = CSourceSettings;

  explicit CSourcesDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  CSourceSettings m_section;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(CDataExchange& dx) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildBody();
  void ConnectBody();
  void FillList(int current);
  void ShowSource(int row);
  void StoreSource();
  void ChangeKind(int kind);
  void Browse();
  void UpdateEditor(const SSource& entry, bool valid);
  SSource* Current();

  QWidget* m_pBody = nullptr;
  QListWidget* m_pList = nullptr;
  QComboBox* m_pKind = nullptr;
  QLabel* m_pArgumentLabel = nullptr;
  QLineEdit* m_pArgument = nullptr;
  QPushButton* m_pBrowse = nullptr;
  QLabel* m_pMatchesLabel = nullptr;
  QLineEdit* m_pMatches = nullptr;  // a directory's; a journal's are its argument
  QCheckBox* m_pFromStart = nullptr;
  QSpinBox* m_pLast = nullptr;
  QCheckBox* m_pKeep = nullptr;
  QLabel* m_pError = nullptr;
  QPushButton* m_pAdd = nullptr;
  QPushButton* m_pRemove = nullptr;
  bool m_bShowing = false;  // the editor is being filled: its signals change nothing
};

}  // namespace zef
