#include "stress/stresscommands.h"

#include "stress/faults.h"
#include "stress/loopdlg.h"

#include <QWidget>

#include <algorithm>
#include <chrono>
#include <thread>

namespace zef {
namespace {

// A negative delay is taken as 0 (on the handheld -1 was an endless wait).
void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, milliseconds))); }

}  // namespace

CStressCommands::CStressCommands(IMonitorHost& host, CLoopSettings& loop) : m_host(host), m_loop(loop) {}

CStressCommands::~CStressCommands() {
  if (m_nTimerLoopCounter != -1) m_host.KillTimer(kTimerLoopId);
}

void CStressCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CStressCommands;
  table.push_back(MakeCommand(CommandId::DivisionByZero, this, &C::OnDivisionByZero));
  table.push_back(MakeCommand(CommandId::AccessViolation, this, &C::OnAccessViolation));
  table.push_back(MakeCommand(CommandId::EndlessLoop, this, &C::OnEndlessLoop));
  table.push_back(MakeCommand(CommandId::UnterminatedRecursion, this, &C::OnUnterminatedRecursion));
  table.push_back(MakeCommand(CommandId::Loop, this, &C::OnLoop));
  table.push_back(MakeCommand(CommandId::LoopTimer, this, &C::OnLoopTimer, &C::CanStartLoopTimer));
  table.push_back(MakeCommand(CommandId::AbortLoopTimer, this, &C::OnAbortLoopTimer, &C::CanAbortLoopTimer));
  table.push_back(MakeCommand(CommandId::SetupLoop, this, &C::OnSetupLoop));
}

void CStressCommands::OnFrameClosing() {
  m_host.KillTimer(kTimerLoopId);
  m_nTimerLoopCounter = -1;
}

void CStressCommands::AnnounceFault(const QString& line) {
  m_host.AppendLine(line);
  m_host.ScrollToEnd();
  m_host.GetWindow()->repaint();
}

// The lines after each fault are reached only when a debugger resumes the
// handler past the signal.

void CStressCommands::OnDivisionByZero() {
  AnnounceFault(QStringLiteral("Before 1/0 ..."));
  const std::int32_t quotient = DivideNumeratorByDenominator();
  m_host.AppendLine(QStringLiteral("%1/%2=%3").arg(g_nNumerator).arg(g_nDenominator).arg(quotient));
  m_host.AppendLine(QStringLiteral("After 1/0"));
  m_host.ScrollToEnd();
}

void CStressCommands::OnAccessViolation() {
  AnnounceFault(QStringLiteral("Before Access Violation ..."));
  ReadRefusedAddress();
  m_host.AppendLine(QString::number(0));
  m_host.AppendLine(QStringLiteral("After Access Violation ..."));
  m_host.ScrollToEnd();
}

void CStressCommands::OnEndlessLoop() {
  AnnounceFault(QStringLiteral("Before Endless Loop ..."));
  SleepForever();
}

void CStressCommands::OnUnterminatedRecursion() {
  AnnounceFault(QStringLiteral("Before Stack Overflow ..."));
  Recurse();
  m_host.AppendLine(QStringLiteral("After Stack Overflow"));
  m_host.ScrollToEnd();
}

void CStressCommands::OnLoop() {
  m_host.AppendLine(QStringLiteral("Before stress loop ..."));
  m_host.ScrollToEnd();
  // The count is read before every pass; nothing else runs meanwhile.
  const QString prefix = QStringLiteral("  loopindex=");
  for (int i = 0; i < m_loop.m_nLoopCount; ++i) {
    Sleep(m_loop.m_nLoopDelay);
    m_host.AppendLine(prefix + QString::number(i));
  }
  m_host.AppendLine(QStringLiteral("After stress loop"));
  m_host.ScrollToEnd();
}

void CStressCommands::OnLoopTimer() {
  m_host.AppendLine(QStringLiteral("Start stress loop (WM_TIMER)..."));
  m_host.ScrollToEnd();
  m_nTimerLoopCounter = 0;
  // When no timer can be set no tick comes: the counter stays 0 and the
  // abort stays available.
  m_host.SetTimer(kTimerLoopId, m_loop.m_nTimerLoopInterval, [this] { OnTimerLoopTick(); });
}

void CStressCommands::OnTimerLoopTick() {
  ++m_nTimerLoopCounter;
  // The count is read at every tick, so changing it moves the loop's end.
  if (m_nTimerLoopCounter > m_loop.m_nTimerLoopCount) {
    m_host.KillTimer(kTimerLoopId);
    m_host.AppendLine(QStringLiteral("End stress loop (WM_TIMER)"));
    m_nTimerLoopCounter = -1;
    m_host.ScrollToEnd();
    return;
  }
  m_host.AppendLine(QStringLiteral("  WM_TIMER ") + QString::number(m_nTimerLoopCounter));
  m_host.ScrollToEnd();
}

void CStressCommands::OnAbortLoopTimer() {
  m_host.KillTimer(kTimerLoopId);
  m_host.AppendLine(QStringLiteral("aborted stress loop (WM_TIMER)"));
  m_nTimerLoopCounter = -1;
  m_host.ScrollToEnd();
}

bool CStressCommands::CanStartLoopTimer() { return m_nTimerLoopCounter == -1; }

bool CStressCommands::CanAbortLoopTimer() { return m_nTimerLoopCounter != -1; }

void CStressCommands::OnSetupLoop() { RunSettingsDialog<CLoopDlg>(m_host.GetWindow(), m_loop, m_host.LookAndFeel()); }

}  // namespace zef
