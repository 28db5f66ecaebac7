// What the monitor tells of the calls its lines show: Call statistics,
// written as the monitor's own lines, and Export calls, a trace event file
// for a trace viewer. Both look at the shown lines, or at the selected ones
// when two or more are selected.
#pragma once

#include "monitor/callstats.h"
#include "monitor/monitorhost.h"

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace zef {

class CMonitorList;
class CSenders;

// The statistics of shown rows `rows` (ascending), or of every shown row
// when null. Long lists are walked in parts on every core.
CCallStatistics CallStatisticsOf(const CMonitorList& list, const std::vector<int>* rows);
// The table lines of `result`, one block per sender named by `senders`,
// under a first line that says what was looked at (`what`: "12 selected
// lines"). No line holds a brace: they go into the monitor's own nesting.
std::vector<QString> CallStatisticsLines(const std::vector<CCallStatistics::SSender>& result, const CSenders& senders,
                                         const QString& what);

// Writes shown rows `rows` (ascending; null: every shown row) to `path` as
// a trace event file: a process per sender, B/E for its calls, instants for
// its other lines (see trace/events/traceevents.h). The file is written
// beside the target and renamed over it: a failure leaves no file and no
// part of one. False on failure, `reason` then says why.
bool ExportCalls(CMonitorList& list, const std::vector<int>* rows, const QString& path, QString* reason);

class CCallCommands : public CFeature {
 public:
  // Asks for the file to export to; an empty name is a cancel.
  using FileNameAsker = std::function<QString(QWidget* parent, const QString& title)>;

  explicit CCallCommands(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;
  // Tests answer the file dialog themselves.
  void SetFileNameAsker(FileNameAsker asker) { m_askFileName = std::move(asker); }

 private:
  void OnCallStatistics();
  void OnExportCalls();
  bool CanLookAtCalls();
  // The rows looked at: the selected ones when two or more are, else null
  // for every shown row; `what` says which.
  std::vector<int> RowsLookedAt(bool* all, QString* what);

  IMonitorHost& m_host;
  FileNameAsker m_askFileName;
};

}  // namespace zef
