#include "platform/dialog/finddialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace zef {

CFindReplaceDialog::CFindReplaceDialog(const QString& findWhat, std::uint32_t flags, QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Find"));
  setModal(false);

  auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
  m_pEdit = new QLineEdit(findWhat, this);
  label->setBuddy(m_pEdit);
  auto* wholeWord = new QCheckBox(QStringLiteral("Match &whole word only"), this);
  wholeWord->setChecked(flags & FR_WHOLEWORD);
  wholeWord->setVisible(!(flags & FR_HIDEWHOLEWORD));
  wholeWord->setEnabled(false);  // not offered by this program's searches
  m_pMatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
  m_pMatchCase->setChecked(flags & FR_MATCHCASE);

  auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
  m_pUp = new QRadioButton(QStringLiteral("&Up"), direction);
  m_pDown = new QRadioButton(QStringLiteral("&Down"), direction);
  (flags & FR_DOWN ? m_pDown : m_pUp)->setChecked(true);
  auto* directionLayout = new QHBoxLayout(direction);
  directionLayout->addWidget(m_pUp);
  directionLayout->addWidget(m_pDown);

  m_pFindNext = new QPushButton(QStringLiteral("&Find Next"), this);
  m_pFindNext->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(m_pEdit, 0, 1);
  grid->addWidget(m_pFindNext, 0, 2);
  grid->addWidget(wholeWord, 1, 0, 1, 2);
  grid->addWidget(m_pMatchCase, 2, 0, 1, 2);
  grid->addWidget(cancel, 1, 2);
  grid->addWidget(direction, 3, 0, 1, 2);

  // An empty text finds nothing: Find Next waits for one.
  m_pFindNext->setEnabled(!findWhat.isEmpty());
  connect(m_pEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_pFindNext->setEnabled(!text.isEmpty()); });
  connect(m_pFindNext, &QPushButton::clicked, this, [this] {
    if (!m_pEdit->text().isEmpty()) Notify(FR_FINDNEXT);
  });
  connect(cancel, &QPushButton::clicked, this, &CFindReplaceDialog::reject);
  show();
}

QString CFindReplaceDialog::GetFindString() const { return m_pEdit->text(); }
bool CFindReplaceDialog::MatchCase() const { return m_pMatchCase->isChecked(); }
bool CFindReplaceDialog::SearchDown() const { return m_pDown->isChecked(); }

void CFindReplaceDialog::Notify(std::uint32_t what) {
  FINDREPLACE record;
  record.findWhat = GetFindString();
  record.Flags = what | FR_HIDEWHOLEWORD | (SearchDown() ? std::uint32_t(FR_DOWN) : 0u) |
                 (MatchCase() ? std::uint32_t(FR_MATCHCASE) : 0u);
  emit findReplace(record);
}

void CFindReplaceDialog::reject() {
  // Closing is reported once, however the dialog is closed.
  if (!m_bTerminated) {
    m_bTerminated = true;
    hide();
    Notify(FR_DIALOGTERM);
  }
}

void CFindReplaceDialog::closeEvent(QCloseEvent* event) {
  event->accept();
  reject();
}

}  // namespace zef
