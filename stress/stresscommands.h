// The "S&tress" commands: the faults of "&ZEF", the blocking loop, the
// timer loop and its abort, and Setup > "&Loop...".
#pragma once

#include "monitor/monitorhost.h"
#include "stress/loopsettings.h"

namespace zef {

class CStressCommands : public CFeature {
 public:
  // The timer loop's window timer on the main window.
  static constexpr std::uint32_t kTimerLoopId = 101;

  // `loop` is the section the loops read at the moment they run and the
  // Loop Settings dialog edits.
  CStressCommands(IMonitorHost& host, CLoopSettings& loop);
  ~CStressCommands() override;

  void AddCommands(std::vector<CCommandEntry>& table) override;
  void OnFrameClosing() override;

  // Ticks handled by the running timer loop; -1 while none runs.
  int TimerLoopCounter() const { return m_nTimerLoopCounter; }

 private:
  void OnDivisionByZero();
  void OnAccessViolation();
  void OnEndlessLoop();
  void OnUnterminatedRecursion();
  void OnLoop();
  void OnLoopTimer();
  void OnAbortLoopTimer();
  void OnSetupLoop();
  bool CanStartLoopTimer();
  bool CanAbortLoopTimer();
  void OnTimerLoopTick();

  // The line that goes before a fault: appended, scrolled into view and
  // painted, since the handler may never return to the event loop.
  void AnnounceFault(const QString& line);

  IMonitorHost& m_host;
  CLoopSettings& m_loop;
  int m_nTimerLoopCounter = -1;
};

}  // namespace zef
