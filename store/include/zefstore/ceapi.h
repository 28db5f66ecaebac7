// The handheld's object-store operations, over a CObjectStore, with the
// arguments that the monitor's database commands pass. Each walk is written
// like this:
//
//   using namespace zef::store;
//   HANDLE db = CeOpenDatabase(store, &oid /* holding 0 */, u"Contacts", 0, CEDB_AUTOINCREMENT);
//   if (db == INVALID_HANDLE_VALUE) report(GetLastError());
//   WORD count = 0; BYTE* buffer = nullptr; DWORD size = 0;
//   while (CEOID record = CeReadRecordProps(db, CEDB_ALLOWREALLOC, &count, &buffer, &size)) {
//     ...FormatRecordLine(buffer, count, size, position++, 0)...
//     LocalFree(buffer);
//     buffer = nullptr;
//   }
//   if (GetLastError() != 0) report(GetLastError());  // 0: the end was reached
//   CloseHandle(db);
//
// Handles are numbers in a process-wide table, never pointers: a stale or
// made-up handle fails with EBADF instead of touching memory. A handle owns
// its own connection to the store file, so it does not depend on the
// CObjectStore it was opened from, and holds no lock between calls: other
// programs go on writing while a walk or a confirmation is open.
//
// GetLastError() is this thread's code of the last failed operation of this
// library (errno values, listed in <zefstore/store.h>); other calls of the
// program, tracing included, never change it. Operations that end a walk set
// it to 0 at the end, so the end is told apart from a failure.
#ifndef ZEFSTORE_CEAPI_H
#define ZEFSTORE_CEAPI_H

#include <cstdint>

#include <zefstore/export.h>
#include <zefstore/store.h>

namespace zef::store {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;

enum class HANDLE : std::uintptr_t {};
inline constexpr HANDLE INVALID_HANDLE_VALUE{~std::uintptr_t(0)};

inline constexpr WORD OBJTYPE_DATABASE = 3;
inline constexpr DWORD CEDB_AUTOINCREMENT = 1;   // CeOpenDatabase: every read moves on
inline constexpr DWORD CEDB_ALLOWREALLOC = 1;    // CeReadRecordProps: the read allocates the buffer
inline constexpr int CEDB_MAXDBASENAMELEN = 32;  // name units, the terminating zero included
inline constexpr int CEDB_MAXSORTORDER = 4;

struct SORTORDERSPEC {
  DWORD propid;
  DWORD dwFlags;
};

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// The database information block. Unlike the handheld's, the record count
// and the size are 64 bits wide, so a database over 65,535 records or 4 GiB
// is reported whole.
struct CEDBASEINFO {
  DWORD dwFlags;
  char16_t szDbaseName[CEDB_MAXDBASENAMELEN];  // zero-terminated
  DWORD dwDbaseType;
  WORD wNumSortOrder;
  std::uint64_t nNumRecords;
  std::uint64_t nSize;  // bytes
  FILETIME ftLastModified;
  SORTORDERSPEC rgSortSpecs[CEDB_MAXSORTORDER];
};

struct CEOIDINFO {
  WORD wObjType;  // OBJTYPE_DATABASE for every object this store holds
  CEDBASEINFO infDatabase;
};

// Starts an enumeration of the databases of type `dwDbaseType` (0: all), in
// the order they were created. A store file that does not exist enumerates
// nothing; one that cannot be read gives INVALID_HANDLE_VALUE.
ZEFSTORE_API HANDLE CeFindFirstDatabase(CObjectStore& store, DWORD dwDbaseType);
// The next database; 0 at the end (GetLastError() 0) or on a failure.
ZEFSTORE_API CEOID CeFindNextDatabase(HANDLE hEnum);
// 0 (false) with ENOENT when the object is gone.
ZEFSTORE_API BOOL CeOidGetInfo(CObjectStore& store, CEOID oid, CEOIDINFO* info);
// Opens a database by name (when *poid is 0; *poid then receives its
// identifier) or by *poid. `propid` must be 0 (records are read in the order
// written) and `dwFlags` CEDB_AUTOINCREMENT, else EINVAL.
ZEFSTORE_API HANDLE CeOpenDatabase(CObjectStore& store, CEOID* poid, const char16_t* lpszName, DWORD propid,
                                   DWORD dwFlags);
// Reads the next record of the open database with all its properties and
// moves on. `dwFlags` must be CEDB_ALLOWREALLOC: *lplpBuffer is allocated
// (or, when not null, reallocated) to hold exactly the record's property
// buffer, and *lpcbBuffer receives its size, *lpcPropID its property count.
// Release the buffer with LocalFree. Returns the record's identifier; 0 at
// the end (GetLastError() 0) or on a failure, which leaves the buffer alone.
ZEFSTORE_API CEOID CeReadRecordProps(HANDLE hDbase, DWORD dwFlags, WORD* lpcPropID, BYTE** lplpBuffer,
                                     DWORD* lpcbBuffer);
ZEFSTORE_API void LocalFree(void* buffer);
// Deletes a database with all its records; false with ENOENT when it is gone.
ZEFSTORE_API BOOL CeDeleteDatabase(CObjectStore& store, CEOID oidDbase);
// Deletes one record of the open database; false with ENOENT when it is not
// (or no longer) a record of that database.
ZEFSTORE_API BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord);
// Releases an enumeration or database handle; false with EBADF for any other value.
ZEFSTORE_API BOOL CloseHandle(HANDLE hObject);

ZEFSTORE_API DWORD GetLastError();
ZEFSTORE_API void SetLastError(DWORD dwErrCode);

}  // namespace zef::store

#endif
