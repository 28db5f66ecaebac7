#include "inspect/databaselist.h"

#include "monitor/linecommands.h"

#include <zefstore/recordline.h>
#include <zeftrace/trace.h>

#include <cerrno>
#include <climits>
#include <string>

namespace zef {

using namespace zef::store;

HANDLE OpenDatabaseByName(CObjectStore& store, std::u16string_view name) {
  const std::u16string terminated(name);
  if (terminated.find(u'\0') != std::u16string::npos) {
    SetLastError(EINVAL);
    return INVALID_HANDLE_VALUE;
  }
  CEOID oid = 0;
  return CeOpenDatabase(store, &oid, terminated.c_str(), 0, CEDB_AUTOINCREMENT);
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
  const HANDLE database = OpenDatabaseByName(store, name);
  if (database == INVALID_HANDLE_VALUE) {
    PrintStoreError(scope, "open database");
    return;
  }
  WORD count = 0;
  BYTE* buffer = nullptr;
  DWORD size = 0;
  // Each read reallocates the one buffer: no allocation per record.
  for (int position = 0;; ++position) {
    if (CeReadRecordProps(database, CEDB_ALLOWREALLOC, &count, &buffer, &size) == 0) {
      // 0 also ends the walk at the last record, with no error.
      if (store::GetLastError() != 0) PrintStoreError(scope, "read record");
      break;
    }
    if (buffer == nullptr) {
      PrintStoreError(scope, "returned property buffer is NULL");
      break;
    }
    scope.Print(FormatRecordLine(buffer, count, size, position, maxLineLength));
  }
  LocalFree(buffer);
  CloseHandle(database);
}

int RecordPositionOfLine(QStringView line) {
  const qsizetype colon = line.indexOf(u':');
  QStringView text = colon < 0 ? QStringView() : line.left(colon);
  while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t' || text.front() == u'0')) text = text.mid(1);
  while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t')) text.chop(1);
  long long value = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') break;
    value = value * 10 + (c.unicode() - u'0');
    if (value > INT_MAX) return INT_MAX;
  }
  return int(value);
}

SRecordSelection ParseRecordSelection(const QString& upperLine, const QString& lowerLine) {
  return {QuotedNameOf(upperLine), RecordPositionOfLine(lowerLine)};
}

}  // namespace zef
