#include "monitor/filterbar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>

namespace zef {

CFilterBar::CFilterBar(QWidget* parent)
    : QWidget(parent), m_pEdit(new QLineEdit(this)), m_pRegex(new QToolButton(this)), m_pCounts(new QLabel(this)) {
  setAutoFillBackground(true);
  m_pEdit->setPlaceholderText(tr("Filter: words, -exclude, @sender, re:pattern"));
  m_pEdit->setClearButtonEnabled(true);
  m_pEdit->installEventFilter(this);
  m_pRegex->setText(QStringLiteral(".*"));
  m_pRegex->setCheckable(true);
  m_pRegex->setToolTip(tr("Every word is a regular expression"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(m_pEdit, 1);
  layout->addWidget(m_pRegex);
  layout->addWidget(m_pCounts);
  connect(m_pEdit, &QLineEdit::textChanged, this, &CFilterBar::QueryChanged);
  connect(m_pRegex, &QToolButton::toggled, this, &CFilterBar::QueryChanged);
  hide();
}

void CFilterBar::Open() {
  show();
  raise();
  m_pEdit->setFocus(Qt::ShortcutFocusReason);
  m_pEdit->selectAll();
}

QString CFilterBar::Text() const { return m_pEdit->text(); }

void CFilterBar::SetText(const QString& text) { m_pEdit->setText(text); }

bool CFilterBar::Regex() const { return m_pRegex->isChecked(); }

void CFilterBar::ShowCounts(int shown, int held, const QString& error) {
  if (!error.isEmpty()) {
    m_pCounts->setText(error);
    return;
  }
  const QLocale locale;
  m_pCounts->setText(tr("%1 of %2 lines").arg(locale.toString(shown), locale.toString(held)));
}

bool CFilterBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pEdit && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    Close();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CFilterBar::Close() {
  m_pEdit->clear();
  hide();
  emit Closed();
}

}  // namespace zef
