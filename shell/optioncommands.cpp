// The Setup commands: each runs its section's dialog, which changes the
// section only when it ends with OK.
#include "shell/optioncommands.h"

#include "monitor/monitorcommands.h"
#include "monitor/monitordlg.h"
#include "monitor/monitorlist.h"
#include "explore/databasesettingsdlg.h"
#include "shell/generaloptionsdlg.h"

#include <QShortcut>

namespace zef {

COptionCommands::COptionCommands(IMonitorHost& host, CSettingsRecord& settings) : m_host(host), m_settings(settings) {}

COptionCommands::~COptionCommands() { delete m_pHelp.data(); }

void COptionCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = COptionCommands;
  table.push_back(MakeCommand(CommandId::Options, this, &C::OnOptions));
  table.push_back(MakeCommand(CommandId::SetupMonitor, this, &C::OnSetupMonitor));
  table.push_back(MakeCommand(CommandId::SetupDatabase, this, &C::OnSetupDatabase));
  table.push_back(MakeCommand(CommandId::HelpContents, this, &C::OnHelpContents));
}

void COptionCommands::OnFrameClosing() {
  if (m_pHelp) m_pHelp->close();
}

void COptionCommands::OnOptions() {
  RunSettingsDialog<CGeneralOptionsDlg>(m_host.GetWindow(), m_settings.general, m_host.LookAndFeel());
}

void COptionCommands::OnSetupMonitor() {
  if (!RunSettingsDialog<CMonitorDlg>(m_host.GetWindow(), m_settings.monitor, m_host.LookAndFeel())) return;
  m_host.GetList().SetIndent(m_settings.monitor.m_strIndentChars);
  ApplyHistoryLimit(m_host.GetList(), m_settings.monitor);
}

void COptionCommands::OnSetupDatabase() {
  RunSettingsDialog<CDatabaseSettingsDlg>(m_host.GetWindow(), m_settings.database, m_host.LookAndFeel());
}

void COptionCommands::OnHelpContents() {
  if (!m_pHelp) {
    m_pHelp = new QTextBrowser(m_host.GetWindow());
    m_pHelp->setWindowFlag(Qt::Window);
    m_pHelp->setAttribute(Qt::WA_DeleteOnClose);
    m_pHelp->setWindowTitle(QStringLiteral("ZEFMON Help"));
    m_pHelp->setSource(QUrl(QStringLiteral("qrc:/res/help.html")));
    m_pHelp->resize(560, 640);
    // Closed from the keyboard like any viewer window.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
      auto* shortcut = new QShortcut(key, m_pHelp);
      QObject::connect(shortcut, &QShortcut::activated, m_pHelp, &QWidget::close);
    }
  }
  m_pHelp->show();
  m_pHelp->raise();
  m_pHelp->activateWindow();
}

}  // namespace zef
