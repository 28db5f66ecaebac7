#include "monitor/filtercommands.h"

#include "monitor/filtersdlg.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "platform/dialog/settingsdialog.h"

namespace zef {
namespace {

// A bar word for `text` as it stands: quoted when it holds a space; its own
// quotes cannot be written in a word, so the text is cut before the first.
QString QuotedWord(QString text) {
  text = text.section(u'"', 0, 0).trimmed();
  return text.contains(u' ') ? u'"' + text + u'"' : text;
}

}  // namespace

CFilterCommands::CFilterCommands(IMonitorHost& host, CFilterSettings& settings)
    : m_host(host), m_settings(settings), m_filter(host.GetList(), settings), m_pBar(new CFilterBar(&host.GetList())) {
  CMonitorList& list = host.GetList();
  list.SetBottomPanel(m_pBar);
  QObject::connect(&list, &CMonitorList::FilterKeyPressed, m_pBar, [this] { OnFilterBar(); });
  QObject::connect(m_pBar, &CFilterBar::QueryChanged, m_pBar, [this] { ApplyBar(); });
  QObject::connect(m_pBar, &CFilterBar::Closed, m_pBar, [this] {
    m_counts.stop();
    m_host.GetList().setFocus(Qt::OtherFocusReason);
  });
  m_counts.setInterval(250);
  QObject::connect(&m_counts, &QTimer::timeout, m_pBar, [this] { ShowCounts(); });
}

CFilterCommands::~CFilterCommands() {
  CMonitorList& list = m_host.GetList();
  list.SetBottomPanel(nullptr);
}

void CFilterCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CFilterCommands;
  table.push_back(MakeCommand(CommandId::FilterBar, this, &C::OnFilterBar));
  table.push_back(MakeCommand(CommandId::Filters, this, &C::OnFilters));
  table.push_back(MakeCommand(CommandId::ShowOnlyThisSender, this, &C::OnShowOnlyThisSender, &C::HasTargetLine));
  table.push_back(MakeCommand(CommandId::HideLinesLikeThis, this, &C::OnHideLinesLikeThis, &C::HasTargetLine));
}

void CFilterCommands::OnSettingsLoaded() { m_filter.ApplyRules(); }

void CFilterCommands::OnFilterBar() {
  m_pBar->Open();
  ShowCounts();
  m_counts.start();
}

void CFilterCommands::OnFilters() {
  if (!RunSettingsDialog<CFiltersDlg>(m_host.GetWindow(), m_settings, m_host.LookAndFeel())) return;
  m_filter.ApplyRules();
  if (!m_pBar->isHidden()) ShowCounts();
}

bool CFilterCommands::HasTargetLine() { return TargetLine() >= 0; }

int CFilterCommands::TargetLine() {
  const CMonitorList& list = m_host.GetList();
  if (list.GetSelCount() == 1) return list.GetSelItems(1).front();
  return list.GetCurSel();
}

void CFilterCommands::OnShowOnlyThisSender() {
  CMonitorList& list = m_host.GetList();
  const int line = TargetLine();
  if (line < 0) return;
  AddWord(u'@' + QuotedWord(list.Senders().Label(list.GetStamp(line).nSender)));
}

void CFilterCommands::OnHideLinesLikeThis() {
  const int line = TargetLine();
  if (line < 0) return;
  AddWord(u'-' + QuotedWord(m_host.GetList().GetOwnText(line)));
}

void CFilterCommands::AddWord(const QString& word) {
  const QString text = m_pBar->Text().trimmed();
  OnFilterBar();
  m_pBar->SetText(text.isEmpty() ? word : text + u' ' + word);
}

void CFilterCommands::ApplyBar() { ShowCounts(m_filter.SetQuery(m_pBar->Text(), m_pBar->Regex())); }

void CFilterCommands::ShowCounts(const QString& error) {
  const CMonitorList& list = m_host.GetList();
  m_pBar->ShowCounts(list.GetCount(), list.GetHeldCount(), error);
}

}  // namespace zef
