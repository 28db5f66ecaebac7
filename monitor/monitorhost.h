// How a feature plugs into the main window. A feature (the monitor's line
// commands, the options, the toolbox's explorers, loops and tools) owns its
// commands and contributes them to the frame's one command table; its
// handlers reach the monitor only through IMonitorHost, which the main frame
// implements.
#pragma once

#include "platform/dialog/dialog.h"
#include "res/resource.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace zef {

class CMonitorList;

class IMonitorHost {
 public:
  virtual ~IMonitorHost() = default;

  // The monitor's one way in: log file (when on), list, scroll (the
  // follower's, once per frame, while following is on; otherwise at each
  // line unless quick draw is on).
  virtual void AppendLine(const QString& line) = 0;
  // A line of one of the monitor's other sources, the same way in:
  // CLineIntake::AddSourceLine (sender id, its label, time or 0 for now).
  virtual void AddSourceLine(const QString& line, std::uint32_t senderId, const QString& label,
                             std::int64_t timeUs) = 0;
  // Scrolls the list to its last line whatever quick draw says.
  virtual void ScrollToEnd() = 0;
  virtual CMonitorList& GetList() = 0;
  // The text of the one selected line; empty unless exactly one is selected.
  virtual QString GetSelectedLine() = 0;
  // The own text of the one selected line: without the indent its depth
  // puts before it. Empty unless exactly one line is selected.
  virtual QString GetSelectedOwnText() = 0;
  // The database named by the one selected line, when that line is a line
  // of the database listing; empty otherwise.
  virtual QString GetSelectedName() = 0;
  // The parent of the feature's message boxes (which go through the one
  // message-box hook) and dialogs, and how those dialogs present themselves.
  virtual QWidget* GetWindow() = 0;
  virtual CLookAndFeel LookAndFeel() const = 0;

  // Window timers of the main window. After SetTimer, `onTick` runs on the
  // UI thread about every `intervalMs` milliseconds (a negative interval is
  // taken as 0: on every pass of the event loop) until KillTimer(id).
  // Setting an id again replaces its timer. Ticks come only while an event
  // loop runs (a modal dialog's included), so none come while a handler
  // blocks, and missed ticks are not made up. False when no timer could be
  // set.
  virtual bool SetTimer(std::uint32_t id, int intervalMs, std::function<void()> onTick) = 0;
  virtual void KillTimer(std::uint32_t id) = 0;
};

// One row of the frame's command table.
struct CCommandEntry {
  CommandId id = CommandId::None;
  std::function<void()> handler;
  // Empty: always enabled when its popup opens.
  std::function<bool()> enabled;
  // For an item with a check mark: whether it shows it when its popup opens.
  std::function<bool()> checked;
};

// A table row for member handlers of `feature`; without `enabled` the item is
// always enabled.
template <class Feature>
CCommandEntry MakeCommand(CommandId id, Feature* feature, void (Feature::*handler)(),
                          bool (Feature::*enabled)() = nullptr) {
  CCommandEntry entry{id, [feature, handler] { (feature->*handler)(); }, {}, {}};
  if (enabled) entry.enabled = [feature, enabled] { return (feature->*enabled)(); };
  return entry;
}

class CFeature {
 public:
  virtual ~CFeature() = default;
  // Appends the feature's rows to the frame's command table.
  virtual void AddCommands(std::vector<CCommandEntry>& table) = 0;
  // The main window is about to close for good (settings not yet saved):
  // close the feature's own windows, stop its timers.
  virtual void OnFrameClosing() {}
  // The frame's settings were read from the profile (at start-up, or again):
  // apply what the feature keeps from them.
  virtual void OnSettingsLoaded() {}
};

}  // namespace zef
