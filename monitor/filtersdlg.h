// The Filters dialog (template 138): edits the ordered list of filter rules.
//
//   RunSettingsDialog<CFiltersDlg>(parent, filterSettings, lookAndFeel);
//
// A template holds fixed controls only, so the template gives the frame
// (caption "ok", Cancel, full screen or centred) and the body is built here:
// the rule list with Add, Remove, Up and Down, and below it the editor of
// the selected rule (text, regular expression, sender, action, colour). An
// edit changes the dialog's copy at once; the section is written back only
// on OK. A rule left with neither text nor sender is dropped on OK.
#pragma once

#include "monitor/filtersettings.h"
#include "platform/dialog/dialog.h"

#include <QColor>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace zef {

class CFiltersDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  using Section = CFilterSettings;

  explicit CFiltersDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  CFilterSettings m_section;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(CDataExchange& dx) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildBody();
  void ConnectBody();
  void FillList(int current);
  void ShowRule(int row);
  void StoreRule();
  void ShowError(const SFilterRule& rule);
  void UpdateButtons();
  void Move(int by);

  QWidget* m_pBody = nullptr;
  QListWidget* m_pList = nullptr;
  QLineEdit* m_pText = nullptr;
  QCheckBox* m_pRegex = nullptr;
  QLineEdit* m_pSender = nullptr;
  QComboBox* m_pAction = nullptr;
  QComboBox* m_pColour = nullptr;
  QLabel* m_pError = nullptr;
  QPushButton* m_pAdd = nullptr;
  QPushButton* m_pRemove = nullptr;
  QPushButton* m_pUp = nullptr;
  QPushButton* m_pDown = nullptr;
  bool m_bShowing = false;  // the editor is being filled: its signals change no rule
};

// A highlight rule's background (SVerdict::nColour) as the list paints it;
// an index out of range is taken as the nearest.
QColor HighlightColour(int index);

// How the list shows a rule: "Hide: re:^tick @timer".
QString DescribeRule(const SFilterRule& rule);

}  // namespace zef
