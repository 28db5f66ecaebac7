#include "explore/databasecommands.h"

#include "explore/databasedelete.h"
#include "explore/databaselist.h"
#include "explore/selection.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"

#include <zefstore/store.h>

namespace zef {

namespace {

// How long a deletion waits for another program's write lock. The user
// interface and every trace client wait with it, so it stays within a
// second; a program that holds the lock longer (a bulk import) makes the
// deletion fail with EBUSY, and it can be asked again. Listings never wait:
// readers of the store do not take the lock.
constexpr store::SStoreOptions kStoreOptions{800};

}  // namespace

CDatabaseCommands::CDatabaseCommands(IMonitorHost& host, CDatabaseSettings& settings, std::string storePath)
    : m_host(host), m_settings(settings), m_strStorePath(std::move(storePath)) {}

void CDatabaseCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CDatabaseCommands;
  table.push_back(MakeCommand(CommandId::DatabaseListAll, this, &C::OnListAll));
  table.push_back(MakeCommand(CommandId::DatabaseListRecords, this, &C::OnListRecords, &C::CanUseDatabaseLine));
  table.push_back(MakeCommand(CommandId::DatabaseDelete, this, &C::OnDeleteDatabase, &C::CanUseDatabaseLine));
  table.push_back(MakeCommand(CommandId::DatabaseDeleteRecord, this, &C::OnDeleteRecord, &C::CanDeleteRecord));
}

bool CDatabaseCommands::CanUseDatabaseLine() {
  return m_host.GetList().GetSelCount() == 1 && !m_host.GetSelectedName().isEmpty();
}

bool CDatabaseCommands::CanDeleteRecord() { return m_host.GetList().GetSelCount() == 2; }

void CDatabaseCommands::OnListAll() {
  m_host.AppendLine(QStringLiteral("Enum databases..."));
  store::CObjectStore store(m_strStorePath, kStoreOptions);
  ZEFMON_EnumDatabases(store);
  m_host.ScrollToEnd();
}

void CDatabaseCommands::OnListRecords() {
  const QString name = m_host.GetSelectedName();
  m_host.AppendLine(QStringLiteral("List records from <") + name + QStringLiteral(">..."));
  store::CObjectStore store(m_strStorePath, kStoreOptions);
  ZEFMON_ReadDatabaseRecords(store, TraceView(name), m_settings.m_nMaxLineLength);
  m_host.ScrollToEnd();
}

void CDatabaseCommands::OnDeleteDatabase() {
  const QString name = m_host.GetSelectedName();
  if (MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyDeleteDatabase), MB_YESNO | MB_ICONQUESTION,
                          name) == IDNO)
    return;
  store::CObjectStore store(m_strStorePath, kStoreOptions);
  ZEFMON_DeleteDatabase(store, TraceView(name),
                        m_settings.m_bConfirmTwice ? std::optional(StringId::ConfirmDeleteDatabase) : std::nullopt,
                        m_host.GetWindow());
  m_host.ScrollToEnd();
}

void CDatabaseCommands::OnDeleteRecord() {
  CMonitorList& list = m_host.GetList();
  // Ascending: the upper line names the database, the lower one the record.
  const std::vector<int> selected = list.GetSelItems(2);
  if (selected.size() != 2) return;
  const SRecordSelection target = ParseRecordSelection(list.GetOwnText(selected[0]), list.GetOwnText(selected[1]));
  if (!target.IsValid()) {
    m_host.AppendLine(QStringLiteral("Select a database line and, below it, a record line of that database."));
    m_host.ScrollToEnd();
    return;
  }
  if (MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyDeleteRecord), MB_YESNO | MB_ICONQUESTION,
                          QString::number(target.nPosition), target.strName) == IDNO)
    return;
  store::CObjectStore store(m_strStorePath, kStoreOptions);
  ZEFMON_DeleteDatabaseRecord(store, TraceView(target.strName), target.nPosition,
                              m_settings.m_bConfirmTwice ? std::optional(StringId::ConfirmDeleteRecord) : std::nullopt,
                              m_host.GetWindow());
  m_host.ScrollToEnd();
}

}  // namespace zef
