// Lines leaving the window: Select all, Copy and Save lines as, as the list
// shows them (indent included, the gutter's columns first when it is on),
// and the list's own menu's filter items.
#pragma once

#include "monitor/monitorhost.h"

#include <QString>

#include <functional>
#include <vector>

class QSaveFile;
class QWidget;

namespace zef {

class CMonitorList;

// Appends row `index` (valid) as the list shows it to `out`: the gutter's
// columns, each followed by a tab, when the gutter is on, then the line
// with its indent.
void AppendShownLine(const CMonitorList& list, int index, QString& out);
// Rows `rows` as shown, in the order given, separated by LF.
QString ShownLines(const CMonitorList& list, const std::vector<int>& rows);
// Writes rows `rows` as shown to `path`, UTF-8, each ending in LF. The file
// is written beside the target and renamed over it: a failure leaves no
// file and no part of one. False on failure, `reason` then says why.
bool SaveShownLines(const CMonitorList& list, const std::vector<int>& rows, const QString& path, QString* reason);

// Writes the file at `path` through `write` beside the target, and renames
// it over the target once `write` returned true with every write done: a
// failure leaves no file and no part of one. `write` returns false, errno
// left as the failed write set it, to give up. False on failure, `reason`
// then says why.
bool WriteFileWhole(const QString& path, const std::function<bool(QSaveFile& file)>& write, QString* reason);

class CLineTransfer : public CFeature {
 public:
  // Asks for the file to save to: the dialog's parent and title; an empty
  // name is a cancel.
  using FileNameAsker = std::function<QString(QWidget* parent, const QString& title)>;

  // Ctrl+A and Ctrl+C work while the list has the focus.
  explicit CLineTransfer(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;
  // Tests answer the file dialog themselves.
  void SetFileNameAsker(FileNameAsker asker) { m_askFileName = std::move(asker); }

 private:
  void OnCopy();
  void OnSelectAll();
  void OnSaveLinesAs();
  bool CanCopy();
  bool CanSelectAll();

  IMonitorHost& m_host;
  FileNameAsker m_askFileName;
};

}  // namespace zef
