// The database tools' listings. They write through the trace channel,
// between the enter and leave lines of a scope named after them; each walks
// the store with handles of its own and closes them before it returns.
#pragma once

#include <zefstore/ceapi.h>
#include <zefstore/store.h>
#include <zeftrace/trace.h>

#include <string_view>

namespace zef {

// One line "\"%s\" type=%d records=%d, size=%d KB" per database, in the order
// the databases were created. A store file that does not exist yet lists
// nothing; one that cannot be read gives "open object store" and its
// "last error: 0x%04x" (a store that fails in the middle of the walk too),
// so that it is never taken for an empty store.
void ZEFMON_EnumDatabases(store::CObjectStore& store);

// One line per record of the database called `name` (compared exactly), in
// the order the records were written, made by FormatRecordLine with their
// 0-based position and `maxLineLength` (0 or less: never shortened).
// "open database" and the last error when there is no such database or the
// store cannot be read; "read record" and the last error when a read fails
// in the middle (a damaged record, the database deleted meanwhile), so that
// a listing cut short is not taken for the whole database.
void ZEFMON_ReadDatabaseRecords(store::CObjectStore& store, std::u16string_view name, int maxLineLength);

// `what`, then "last error: 0x%04x" with the store's last error.
void PrintStoreError(CTraceScope& scope, const char* what);

// The records of one database in read order, walked the one way that the
// listing and Delete record share, so that a position means the same record
// to both: opened by name (identifier 0, sort property 0,
// CEDB_AUTOINCREMENT), read with CeReadRecordProps into one buffer that
// each read reallocates. Failures are written into `scope`, each followed
// by its last error: "open database" (a name holding U+0000 names no
// database, EINVAL, rather than the one called by its first part), "read
// record" (a failed read, told apart from the end), "returned property
// buffer is NULL". The handle is closed when the walk is destroyed.
class CRecordWalk {
 public:
  CRecordWalk(store::CObjectStore& store, std::u16string_view name, CTraceScope& scope);
  ~CRecordWalk();
  CRecordWalk(const CRecordWalk&) = delete;
  CRecordWalk& operator=(const CRecordWalk&) = delete;

  // Reads the next record; false at the end, after a failure, or when the
  // database did not open.
  bool Next();

  store::HANDLE Handle() const { return m_hDatabase; }
  store::CEOID Record() const { return m_nRecord; }
  const store::BYTE* Buffer() const { return m_pBuffer; }
  store::WORD Count() const { return m_nCount; }
  store::DWORD Size() const { return m_nSize; }

 private:
  CTraceScope& m_scope;
  store::HANDLE m_hDatabase = store::INVALID_HANDLE_VALUE;
  store::CEOID m_nRecord = 0;
  store::BYTE* m_pBuffer = nullptr;
  store::WORD m_nCount = 0;
  store::DWORD m_nSize = 0;
};

}  // namespace zef
