// The filter's commands and its bar: Monitor > Filter bar (Ctrl+L, or "/"
// in the list) opens the bar, whose words narrow the list as they are
// typed; Monitor > Filters... edits the rules (Init.Filters); the list's
// menu offers "Show only this sender" and "Hide lines like this", which put
// the line's sender or text into the bar. Drop rules keep lines out of the
// list as they come in (the log still gets them).
#pragma once

#include "monitor/filterbar.h"
#include "monitor/filtersettings.h"
#include "monitor/listfilter.h"
#include "monitor/monitorhost.h"

#include <QTimer>

namespace zef {

class CFilterCommands : public CFeature {
 public:
  // `settings` is the frame's Init.Filters section; both outlive the feature.
  CFilterCommands(IMonitorHost& host, CFilterSettings& settings);
  ~CFilterCommands() override;

  void AddCommands(std::vector<CCommandEntry>& table) override;
  void OnSettingsLoaded() override;

  CFilterBar& Bar() { return *m_pBar; }

 private:
  void OnFilterBar();
  void OnFilters();
  void OnShowOnlyThisSender();
  void OnHideLinesLikeThis();
  bool HasTargetLine();
  // The line the list's menu acts on: the one selected line, else the caret's.
  int TargetLine();
  // Adds `word` to the bar's words and opens the bar.
  void AddWord(const QString& word);
  void ApplyBar();
  void ShowCounts(const QString& error = {});

  IMonitorHost& m_host;
  CFilterSettings& m_settings;
  CListFilter m_filter;
  CFilterBar* m_pBar;  // a child of the list
  QTimer m_counts;     // "N of M lines" kept current while the bar is open
};

}  // namespace zef
