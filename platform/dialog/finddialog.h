// The modeless find dialog: a search text, match case and a direction, no
// whole-word option when FR_HIDEWHOLEWORD is given. Its owner learns of
// "Find Next" and of its closing through findReplace().
#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zef {

enum FindReplaceFlags : std::uint32_t {
  FR_DOWN = 0x1,
  FR_WHOLEWORD = 0x2,
  FR_MATCHCASE = 0x4,
  FR_FINDNEXT = 0x8,
  FR_DIALOGTERM = 0x40,
  FR_HIDEWHOLEWORD = 0x10000,
};

struct FINDREPLACE {
  std::uint32_t Flags = 0;
  QString findWhat;
};

class CFindReplaceDialog : public QDialog {
  Q_OBJECT
 public:
  // A dialog for finding only, owned by `owner`, shown at once.
  CFindReplaceDialog(const QString& findWhat, std::uint32_t flags, QWidget* owner);

  QString GetFindString() const;
  bool MatchCase() const;
  bool SearchDown() const;

  // The controls, for tests that drive the dialog.
  QLineEdit* FindEdit() const { return m_pEdit; }
  QPushButton* FindNextButton() const { return m_pFindNext; }
  QCheckBox* MatchCaseBox() const { return m_pMatchCase; }
  QRadioButton* UpButton() const { return m_pUp; }

 signals:
  void findReplace(const zef::FINDREPLACE& record);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Notify(std::uint32_t what);

  QLineEdit* m_pEdit;
  QCheckBox* m_pMatchCase;
  QRadioButton* m_pUp;
  QRadioButton* m_pDown;
  QPushButton* m_pFindNext;
  bool m_bTerminated = false;
};

}  // namespace zef
