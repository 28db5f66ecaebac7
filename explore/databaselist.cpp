#include "explore/databaselist.h"

#include <zefstore/recordline.h>
#include <zeftrace/trace.h>

#include <cerrno>
#include <string>

namespace zef {

using namespace zef::store;

CRecordWalk::CRecordWalk(CObjectStore& store, std::u16string_view name, CTraceScope& scope) : m_scope(scope) {
  const std::u16string terminated(name);
  CEOID oid = 0;
  if (terminated.find(u'\0') == std::u16string::npos)
    m_hDatabase = CeOpenDatabase(store, &oid, terminated.c_str(), 0, CEDB_AUTOINCREMENT);
  else SetLastError(EINVAL);
  if (m_hDatabase == INVALID_HANDLE_VALUE) PrintStoreError(m_scope, "open database");
}

CRecordWalk::~CRecordWalk() {
  LocalFree(m_pBuffer);
  if (m_hDatabase != INVALID_HANDLE_VALUE) CloseHandle(m_hDatabase);
}

bool CRecordWalk::Next() {
  if (m_hDatabase == INVALID_HANDLE_VALUE) return false;
  m_nRecord = CeReadRecordProps(m_hDatabase, CEDB_ALLOWREALLOC, &m_nCount, &m_pBuffer, &m_nSize);
  if (m_nRecord == 0) {
    // 0 also ends the walk at the last record, with no error.
    if (store::GetLastError() != 0) PrintStoreError(m_scope, "read record");
  } else if (m_pBuffer == nullptr) {
    PrintStoreError(m_scope, "returned property buffer is NULL");
    m_nRecord = 0;
  }
  // Ended for good: later calls read nothing and write no failure twice.
  if (m_nRecord == 0) {
    CloseHandle(m_hDatabase);
    m_hDatabase = INVALID_HANDLE_VALUE;
  }
  return m_nRecord != 0;
}

void PrintStoreError(CTraceScope& scope, const char* what) {
  scope.Print(what);
  scope.PrintF("last error: 0x%04x", store::GetLastError());
}

void ZEFMON_EnumDatabases(CObjectStore& store) {
  CTraceScope scope("ZEFMON_EnumDatabases()");
  const HANDLE enumeration = CeFindFirstDatabase(store, 0);
  if (enumeration == INVALID_HANDLE_VALUE) {
    PrintStoreError(scope, "open object store");
    return;
  }
  CEOIDINFO info;
  while (const CEOID oid = CeFindNextDatabase(enumeration)) {
    // A database deleted since the walk met it, or whose information is
    // damaged, is left out; the others are still listed.
    if (!CeOidGetInfo(store, oid, &info) || info.wObjType != OBJTYPE_DATABASE) continue;
    const CEDBASEINFO& database = info.infDatabase;
    scope.Print(FormatDatabaseLine(database.szDbaseName, database.dwDbaseType, database.nNumRecords, database.nSize));
  }
  if (store::GetLastError() != 0) PrintStoreError(scope, "read object store");
  CloseHandle(enumeration);
}

void ZEFMON_ReadDatabaseRecords(CObjectStore& store, std::u16string_view name, int maxLineLength) {
  CTraceScope scope("ZEFMON_ReadDatabaseRecords()");
  CRecordWalk walk(store, name, scope);
  for (int position = 0; walk.Next(); ++position)
    scope.Print(FormatRecordLine(walk.Buffer(), walk.Count(), walk.Size(), position, maxLineLength));
}

}  // namespace zef
