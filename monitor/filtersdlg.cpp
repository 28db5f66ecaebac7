#include "monitor/filtersdlg.h"

#include "monitor/linematcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace zef {

namespace {

constexpr const char16_t* kActionNames[] = {u"Show only", u"Hide", u"Highlight", u"Drop"};

}  // namespace

QColor HighlightColour(int index) {
  const auto palette = HighlightPalette();
  return QColor::fromRgb(palette[std::size_t(std::clamp<int>(index, 0, int(palette.size()) - 1))]);
}

QString DescribeRule(const SFilterRule& rule) {
  QString text = QString::fromUtf16(kActionNames[int(rule.action)]) + u':';
  if (!rule.strText.isEmpty()) text += (rule.bRegex ? QStringLiteral(" re:") : QStringLiteral(" ")) + rule.strText;
  if (!rule.strSender.isEmpty()) text += QStringLiteral(" @") + rule.strSender;
  return text;
}

CFiltersDlg::CFiltersDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::Filters, lookAndFeel, parent) {
  BuildBody();
}

void CFiltersDlg::BuildBody() {
  m_pBody = new QWidget(ClientArea());
  auto* rows = new QVBoxLayout(m_pBody);
  rows->setContentsMargins(4, 4, 4, 4);
  m_pList = Named(new QListWidget, "filterList");
  rows->addWidget(m_pList, 1);

  auto* buttons = new QHBoxLayout;
  m_pAdd = Named(new QPushButton(tr("&Add")), "filterAdd");
  m_pRemove = Named(new QPushButton(tr("&Remove")), "filterRemove");
  m_pUp = Named(new QPushButton(tr("&Up")), "filterUp");
  m_pDown = Named(new QPushButton(tr("Do&wn")), "filterDown");
  for (QPushButton* button : {m_pAdd, m_pRemove, m_pUp, m_pDown}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  rows->addLayout(buttons);

  auto* editor = new QGridLayout;
  m_pText = Named(new QLineEdit, "filterText");
  m_pText->setMaxLength(CFilterSettings::kMaxPattern);
  m_pRegex = Named(new QCheckBox(tr("Regular e&xpression")), "filterRegex");
  m_pSender = Named(new QLineEdit, "filterSender");
  m_pSender->setMaxLength(CFilterSettings::kMaxPattern);
  m_pAction = Named(new QComboBox, "filterAction");
  for (const char16_t* name : kActionNames) m_pAction->addItem(QString::fromUtf16(name));
  m_pColour = Named(new QComboBox, "filterColour");
  for (std::size_t i = 0; i < HighlightPalette().size(); ++i) {
    QPixmap swatch(16, 16);
    swatch.fill(HighlightColour(int(i)));
    m_pColour->addItem(QIcon(swatch), QString::fromUtf16(HighlightNames()[i]));
  }
  m_pError = Named(new QLabel, "filterError");
  m_pError->setWordWrap(true);
  const auto label = [](const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
  };
  editor->addWidget(label(tr("&Text:"), m_pText), 0, 0);
  editor->addWidget(m_pText, 0, 1);
  editor->addWidget(m_pRegex, 1, 1);
  editor->addWidget(label(tr("&Sender:"), m_pSender), 2, 0);
  editor->addWidget(m_pSender, 2, 1);
  editor->addWidget(label(tr("Actio&n:"), m_pAction), 3, 0);
  editor->addWidget(m_pAction, 3, 1);
  editor->addWidget(label(tr("C&olour:"), m_pColour), 4, 0);
  editor->addWidget(m_pColour, 4, 1);
  editor->addWidget(m_pError, 5, 0, 1, 2);
  rows->addLayout(editor);
  ConnectBody();
}

void CFiltersDlg::ConnectBody() {
  connect(m_pList, &QListWidget::currentRowChanged, this, [this](int row) { ShowRule(row); });
  connect(m_pText, &QLineEdit::textEdited, this, [this] { StoreRule(); });
  connect(m_pSender, &QLineEdit::textEdited, this, [this] { StoreRule(); });
  connect(m_pRegex, &QCheckBox::toggled, this, [this] { StoreRule(); });
  connect(m_pAction, &QComboBox::currentIndexChanged, this, [this] { StoreRule(); });
  connect(m_pColour, &QComboBox::currentIndexChanged, this, [this] { StoreRule(); });
  connect(m_pAdd, &QPushButton::clicked, this, [this] {
    m_section.m_vRules.push_back(SFilterRule{});
    FillList(int(m_section.m_vRules.size()) - 1);
    m_pText->setFocus();
  });
  connect(m_pRemove, &QPushButton::clicked, this, [this] {
    const int row = m_pList->currentRow();
    if (row < 0) return;
    m_section.m_vRules.erase(m_section.m_vRules.begin() + row);
    FillList(std::min(row, int(m_section.m_vRules.size()) - 1));
  });
  connect(m_pUp, &QPushButton::clicked, this, [this] { Move(-1); });
  connect(m_pDown, &QPushButton::clicked, this, [this] { Move(+1); });
}

bool CFiltersDlg::OnInitDialog() {
  const bool result = CSettingsDlg::OnInitDialog();
  resizeEvent(nullptr);
  return result;
}

void CFiltersDlg::DoDataExchange(CDataExchange& dx) {
  if (!dx.IsSaving()) {
    FillList(m_section.m_vRules.empty() ? -1 : 0);
    return;
  }
  std::erase_if(m_section.m_vRules, [](const SFilterRule& r) { return r.strText.isEmpty() && r.strSender.isEmpty(); });
}

void CFiltersDlg::resizeEvent(QResizeEvent* event) {
  if (event != nullptr) CSettingsDlg::resizeEvent(event);
  if (m_pBody == nullptr) return;
  m_pBody->setGeometry(BodyArea());
}

void CFiltersDlg::FillList(int current) {
  m_pList->clear();
  for (const SFilterRule& rule : m_section.m_vRules) {
    auto* item = new QListWidgetItem(DescribeRule(rule), m_pList);
    if (rule.action == EFilterAction::Highlight) item->setBackground(HighlightColour(rule.nColour));
  }
  m_pList->setCurrentRow(current);
  ShowRule(current);
}

void CFiltersDlg::ShowRule(int row) {
  const bool valid = row >= 0 && row < int(m_section.m_vRules.size());
  const SFilterRule rule = valid ? m_section.m_vRules[std::size_t(row)] : SFilterRule{};
  m_bShowing = true;
  m_pText->setText(rule.strText);
  m_pRegex->setChecked(rule.bRegex);
  m_pSender->setText(rule.strSender);
  m_pAction->setCurrentIndex(int(rule.action));
  m_pColour->setCurrentIndex(rule.nColour);
  m_bShowing = false;
  for (QWidget* w : std::initializer_list<QWidget*>{m_pText, m_pRegex, m_pSender, m_pAction, m_pColour})
    w->setEnabled(valid);
  m_pColour->setEnabled(valid && rule.action == EFilterAction::Highlight);
  ShowError(rule);
  UpdateButtons();
}

void CFiltersDlg::StoreRule() {
  const int row = m_pList->currentRow();
  if (m_bShowing || row < 0 || row >= int(m_section.m_vRules.size())) return;
  SFilterRule& rule = m_section.m_vRules[std::size_t(row)];
  rule.strText = m_pText->text();
  rule.bRegex = m_pRegex->isChecked();
  rule.strSender = m_pSender->text();
  rule.action = EFilterAction(std::max(0, m_pAction->currentIndex()));
  rule.nColour = std::max(0, m_pColour->currentIndex());
  QListWidgetItem* item = m_pList->item(row);
  item->setText(DescribeRule(rule));
  item->setBackground(rule.action == EFilterAction::Highlight ? QBrush(HighlightColour(rule.nColour)) : QBrush());
  m_pColour->setEnabled(rule.action == EFilterAction::Highlight);
  ShowError(rule);
}

void CFiltersDlg::ShowError(const SFilterRule& rule) {
  const CTextMatcher matcher(rule.strText, rule.bRegex);
  m_pError->setText(matcher.IsValid() ? QString() : tr("Not a regular expression: %1").arg(matcher.Error()));
}

void CFiltersDlg::UpdateButtons() {
  const int row = m_pList->currentRow();
  const int count = int(m_section.m_vRules.size());
  m_pAdd->setEnabled(count < CFilterSettings::kMaxRules);
  m_pRemove->setEnabled(row >= 0);
  m_pUp->setEnabled(row > 0);
  m_pDown->setEnabled(row >= 0 && row + 1 < count);
}

void CFiltersDlg::Move(int by) {
  const int row = m_pList->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= int(m_section.m_vRules.size())) return;
  std::swap(m_section.m_vRules[std::size_t(row)], m_section.m_vRules[std::size_t(to)]);
  FillList(to);
}

}  // namespace zef
