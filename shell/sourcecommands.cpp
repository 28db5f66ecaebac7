#include "shell/sourcecommands.h"

#include "platform/dialog/settingsdialog.h"
#include "sources/sourcesdlg.h"

#include <algorithm>

namespace zef {

CSourceCommands::CSourceCommands(IMonitorHost& host, CSourceSettings& settings)
    : m_host(host),
      m_settings(settings),
      m_set([&host](const QString& text, std::uint32_t senderId, const QString& label, std::int64_t timeUs) {
        if (senderId == 0) host.AppendLine(text);
        else host.AddSourceLine(text, senderId, label, timeUs);
      }) {}

void CSourceCommands::AddCommands(std::vector<CCommandEntry>& table) {
  table.push_back(MakeCommand(CommandId::SetupSources, this, &CSourceCommands::OnSetupSources));
}

void CSourceCommands::OnFrameClosing() {
  // A journal goes on at the next start where it stopped reading now.
  for (SSource& entry : m_settings.m_vSources)
    if (const QString cursor = m_set.CursorOf(entry); !cursor.isEmpty()) entry.strCursor = cursor;
  m_set.Apply({});
}

void CSourceCommands::Start(const std::vector<SSource>& commandLine) {
  for (const QString& problem : m_settings.Problems()) m_host.AppendLine(problem);
  std::vector<SSource>& sources = m_settings.m_vSources;
  for (SSource entry : commandLine) {
    // Asked for again: the saved source that runs anyway is the one shown.
    const bool runs = std::any_of(sources.begin(), sources.end(),
                                  [&](const SSource& s) { return s.bEnabled && s.SameSource(entry); });
    if (runs || int(sources.size()) >= SSource::kMaxSources) continue;
    entry.bSession = true;
    sources.push_back(std::move(entry));
  }
  m_set.Apply(sources);
  // A saved position serves the first start only: one started again in this
  // session (its start changed) starts as it says.
  for (SSource& entry : sources)
    if (m_set.SenderOf(entry) != 0) entry.strCursor.clear();
}

void CSourceCommands::OnSetupSources() {
  if (RunSettingsDialog<CSourcesDlg>(m_host.GetWindow(), m_settings, m_host.LookAndFeel()))
    m_set.Apply(m_settings.m_vSources);
}

}  // namespace zef
