// The "Database" commands: list every database of the object store, list
// the records of the database whose line is selected, delete that database,
// or delete a record given by a selected database line and a record line
// below it. Each command opens the store file anew, so a store replaced or
// created since the last command is the one it reads.
#pragma once

#include "explore/databasesettings.h"
#include "monitor/monitorhost.h"

#include <string>

namespace zef {

class CDatabaseCommands : public CFeature {
 public:
  // `storePath` is the object store's file; it need not exist yet.
  CDatabaseCommands(IMonitorHost& host, CDatabaseSettings& settings, std::string storePath);

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnListAll();
  void OnListRecords();
  void OnDeleteDatabase();
  void OnDeleteRecord();
  // One selected line that names a database (List records, Delete database).
  bool CanUseDatabaseLine();
  // Exactly two selected lines, whatever they hold (Delete record): when they
  // are not a database line and a record line below it, the command says so.
  bool CanDeleteRecord();

  IMonitorHost& m_host;
  CDatabaseSettings& m_settings;
  std::string m_strStorePath;
};

}  // namespace zef
