#include "sources/sourcesdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zef {

CSourcesDlg::CSourcesDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::Sources, lookAndFeel, parent) {
  BuildBody();
}

void CSourcesDlg::BuildBody() {
  m_pBody = new QWidget(ClientArea());
  auto* rows = new QVBoxLayout(m_pBody);
  rows->setContentsMargins(4, 4, 4, 4);
  m_pList = Named(new QListWidget, "sourceList");
  rows->addWidget(m_pList, 1);

  auto* buttons = new QHBoxLayout;
  m_pAdd = Named(new QPushButton(tr("&Add")), "sourceAdd");
  m_pRemove = Named(new QPushButton(tr("&Remove")), "sourceRemove");
  for (QPushButton* button : {m_pAdd, m_pRemove}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  rows->addLayout(buttons);

  auto* editor = new QGridLayout;
  m_pKind = Named(new QComboBox, "sourceKind");
  m_pKind->addItems(SourceKindNames());
  m_pArgument = Named(new QLineEdit, "sourceArgument");
  m_pArgument->setMaxLength(SSource::kMaxArgument);
  m_pBrowse = Named(new QPushButton(tr("&Browse...")), "sourceBrowse");
  m_pBrowse->setAutoDefault(false);
  m_pMatches = Named(new QLineEdit, "sourceMatches");
  m_pMatches->setMaxLength(SSource::kMaxArgument);
  m_pMatches->setPlaceholderText(tr("all entries, or FIELD=VALUE ..."));
  m_pMatchesLabel = new QLabel(tr("M&atches:"));
  m_pMatchesLabel->setBuddy(m_pMatches);
  m_pFromStart = Named(new QCheckBox, "sourceFromStart");
  m_pLast = Named(new QSpinBox, "sourceLast");
  m_pLast->setRange(0, SSource::kMaxLast);
  m_pLast->setSpecialValueText(tr("none, from now"));
  m_pKeep = Named(new QCheckBox(tr("&Open again at the next start")), "sourceKeep");
  m_pError = Named(new QLabel, "sourceError");
  m_pError->setWordWrap(true);
  auto* kindLabel = new QLabel(tr("&Kind:"));
  kindLabel->setBuddy(m_pKind);
  m_pArgumentLabel = new QLabel;
  m_pArgumentLabel->setBuddy(m_pArgument);
  auto* lastLabel = new QLabel(tr("&Latest entries first:"));
  lastLabel->setBuddy(m_pLast);
  auto* argumentRow = new QHBoxLayout;
  argumentRow->addWidget(m_pArgument, 1);
  argumentRow->addWidget(m_pBrowse);
  editor->addWidget(kindLabel, 0, 0);
  editor->addWidget(m_pKind, 0, 1);
  editor->addWidget(m_pArgumentLabel, 1, 0);
  editor->addLayout(argumentRow, 1, 1);
  editor->addWidget(m_pMatchesLabel, 2, 0);
  editor->addWidget(m_pMatches, 2, 1);
  editor->addWidget(m_pFromStart, 3, 1);
  editor->addWidget(lastLabel, 4, 0);
  editor->addWidget(m_pLast, 4, 1);
  editor->addWidget(m_pKeep, 5, 1);
  editor->addWidget(m_pError, 6, 0, 1, 2);
  rows->addLayout(editor);
  ConnectBody();
}

void CSourcesDlg::ConnectBody() {
  connect(m_pList, &QListWidget::currentRowChanged, this, [this](int row) { ShowSource(row); });
  connect(m_pList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    const int row = m_pList->row(item);
    if (row < 0 || row >= int(m_section.m_vSources.size())) return;
    m_section.m_vSources[std::size_t(row)].bEnabled = item->checkState() == Qt::Checked;
  });
  connect(m_pKind, &QComboBox::activated, this, [this](int kind) { ChangeKind(kind); });
  connect(m_pArgument, &QLineEdit::textEdited, this, [this] { StoreSource(); });
  connect(m_pMatches, &QLineEdit::textEdited, this, [this] { StoreSource(); });
  connect(m_pFromStart, &QCheckBox::toggled, this, [this] { StoreSource(); });
  connect(m_pLast, &QSpinBox::valueChanged, this, [this] { StoreSource(); });
  connect(m_pKeep, &QCheckBox::toggled, this, [this] { StoreSource(); });
  connect(m_pBrowse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(m_pAdd, &QPushButton::clicked, this, [this] {
    m_section.m_vSources.push_back(MakeSource(ESourceKind::File));
    FillList(int(m_section.m_vSources.size()) - 1);
    m_pArgument->setFocus();
  });
  connect(m_pRemove, &QPushButton::clicked, this, [this] {
    const int row = m_pList->currentRow();
    if (row < 0) return;
    m_section.m_vSources.erase(m_section.m_vSources.begin() + row);
    FillList(std::min(row, int(m_section.m_vSources.size()) - 1));
  });
}

bool CSourcesDlg::OnInitDialog() {
  const bool result = CSettingsDlg::OnInitDialog();
  resizeEvent(nullptr);
  return result;
}

void CSourcesDlg::DoDataExchange(CDataExchange& dx) {
  if (!dx.IsSaving()) {
    FillList(m_section.m_vSources.empty() ? -1 : 0);
    return;
  }
  // An added row left without its file or directory is dropped, as if
  // never added.
  std::erase_if(m_section.m_vSources,
                [](const SSource& s) { return TakesPath(s.kind) && s.strArgument.trimmed().isEmpty(); });
  for (SSource& entry : m_section.m_vSources) {
    if (TakesPath(entry.kind) && !entry.bSession) entry.strArgument = QFileInfo(entry.strArgument).absoluteFilePath();
  }
  for (std::size_t i = 0; i < m_section.m_vSources.size(); ++i) {
    if (CheckSource(m_section.m_vSources[i]).isEmpty()) continue;
    FillList(int(i));
    dx.Fail();
    return;
  }
  FillList(m_pList->currentRow());
}

void CSourcesDlg::resizeEvent(QResizeEvent* event) {
  if (event != nullptr) CSettingsDlg::resizeEvent(event);
  if (m_pBody != nullptr) m_pBody->setGeometry(BodyArea());
}

SSource* CSourcesDlg::Current() {
  const int row = m_pList->currentRow();
  return row >= 0 && row < int(m_section.m_vSources.size()) ? &m_section.m_vSources[std::size_t(row)] : nullptr;
}

void CSourcesDlg::FillList(int current) {
  {
    // Filling says nothing: no row change, no check box a user clicked.
    const QSignalBlocker quiet(m_pList);
    m_pList->clear();
    for (const SSource& entry : m_section.m_vSources) {
      auto* item = new QListWidgetItem(DescribeSource(entry), m_pList);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(entry.bEnabled ? Qt::Checked : Qt::Unchecked);
    }
    m_pList->setCurrentRow(current);
  }
  ShowSource(current);
}

void CSourcesDlg::ShowSource(int row) {
  const bool valid = row >= 0 && row < int(m_section.m_vSources.size());
  const SSource entry = valid ? m_section.m_vSources[std::size_t(row)] : SSource{};
  m_bShowing = true;
  m_pKind->setCurrentIndex(int(entry.kind));
  m_pArgument->setText(entry.strArgument);
  m_pMatches->setText(entry.strMatches);
  m_pFromStart->setChecked(entry.bFromStart);
  m_pLast->setValue(entry.nLast);
  m_pKeep->setChecked(!entry.bSession);
  m_bShowing = false;
  UpdateEditor(entry, valid);
}

void CSourcesDlg::UpdateEditor(const SSource& entry, bool valid) {
  static const char* const kArgumentCaptions[] = {"&File:", "", "&Matches:", "&Directory:"};
  m_pArgumentLabel->setText(tr(kArgumentCaptions[int(entry.kind)]));
  m_pFromStart->setText(entry.kind == ESourceKind::Kernel ? tr("From the &oldest record kept")
                        : IsJournal(entry.kind)           ? tr("From its &first entry")
                                                          : tr("From its &beginning"));
  m_pKind->setEnabled(valid);
  m_pArgument->setEnabled(valid && entry.kind != ESourceKind::Kernel);
  m_pArgument->setPlaceholderText(entry.kind == ESourceKind::Journal ? tr("all entries, or FIELD=VALUE ...")
                                                                     : QString());
  m_pBrowse->setEnabled(valid && TakesPath(entry.kind));
  m_pMatchesLabel->setVisible(entry.kind == ESourceKind::JournalDir);
  m_pMatches->setVisible(entry.kind == ESourceKind::JournalDir);
  m_pMatches->setEnabled(valid);
  m_pFromStart->setEnabled(valid);
  m_pLast->setEnabled(valid && IsJournal(entry.kind) && !entry.bFromStart);
  // Only a source of the command line can be left out of later starts.
  m_pKeep->setEnabled(valid && entry.bSession);
  const bool empty = TakesPath(entry.kind) && entry.strArgument.isEmpty();
  m_pError->setText(valid && !empty ? CheckSource(entry) : QString());
  m_pAdd->setEnabled(int(m_section.m_vSources.size()) < SSource::kMaxSources);
  m_pRemove->setEnabled(valid);
}

void CSourcesDlg::StoreSource() {
  SSource* entry = Current();
  if (m_bShowing || entry == nullptr) return;
  entry->strArgument = m_pArgument->text();
  if (entry->kind == ESourceKind::JournalDir) entry->strMatches = m_pMatches->text();
  entry->bFromStart = m_pFromStart->isChecked();
  entry->nLast = m_pLast->value();
  entry->bSession = !m_pKeep->isChecked();
  const QSignalBlocker quiet(m_pList);
  m_pList->item(m_pList->currentRow())->setText(DescribeSource(*entry));
  UpdateEditor(*entry, true);
}

void CSourcesDlg::ChangeKind(int kind) {
  SSource* entry = Current();
  if (m_bShowing || entry == nullptr || kind == int(entry->kind)) return;
  // A new kind starts as that kind usually does; a path stays for a path.
  SSource changed = MakeSource(ESourceKind(kind),
                               TakesPath(ESourceKind(kind)) && TakesPath(entry->kind) ? entry->strArgument : QString());
  changed.bEnabled = entry->bEnabled;
  changed.bSession = entry->bSession;
  *entry = changed;
  FillList(m_pList->currentRow());
}

void CSourcesDlg::Browse() {
  const SSource* entry = Current();
  if (entry == nullptr) return;
  const QString from = entry->strArgument.isEmpty() ? QDir::homePath() : entry->strArgument;
  const QString chosen = entry->kind == ESourceKind::JournalDir
                             ? QFileDialog::getExistingDirectory(this, tr("Directory of journal files"), from)
                             : QFileDialog::getOpenFileName(this, tr("File to follow"), from);
  if (chosen.isEmpty()) return;
  m_pArgument->setText(chosen);
  StoreSource();
}

}  // namespace zef
