#include <zefstore/ceapi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "lasterror.h"

namespace zef::store {

namespace {

thread_local DWORD t_nLastError = 0;

// What a handle stands for. Each owns its connection to the store file.
struct SHandleObject {
  explicit SHandleObject(const CObjectStore& from) : store(from.Path(), from.Options()) {}
  virtual ~SHandleObject() = default;
  CObjectStore store;
  std::mutex mutex;  // one call at a time on the same handle
};

struct SEnumeration final : SHandleObject {
  using SHandleObject::SHandleObject;
  DWORD nType = 0;
  std::vector<CEOID> page;
  std::size_t nPagePos = 0;
  CEOID nLast = 0;
  bool bEnd = false;
};

struct SOpenDatabase final : SHandleObject {
  SOpenDatabase(const CObjectStore& from, CEOID database)
      : SHandleObject(from), cursor(store, database), nDatabase(database) {}
  CRecordCursor cursor;
  CEOID nDatabase;
  SRecord record;
};

// Handles are numbers, so a closed or made-up one is found missing rather
// than dereferenced. A call holds its object through a shared_ptr, so a
// CloseHandle from another thread cannot free it under the call.
class CHandleTable {
 public:
  HANDLE Add(std::shared_ptr<SHandleObject> object) {
    std::lock_guard lock(m_mutex);
    const std::uintptr_t id = ++m_nLast;
    m_objects.emplace(id, std::move(object));
    return HANDLE{id};
  }
  template <class T>
  std::shared_ptr<T> Find(HANDLE handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_objects.find(std::uintptr_t(handle));
    return it == m_objects.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
  }
  bool Remove(HANDLE handle) {
    std::shared_ptr<SHandleObject> object;  // released outside the lock
    std::lock_guard lock(m_mutex);
    const auto it = m_objects.find(std::uintptr_t(handle));
    if (it == m_objects.end()) return false;
    object = std::move(it->second);
    m_objects.erase(it);
    return true;
  }

 private:
  std::mutex m_mutex;
  std::uintptr_t m_nLast = 0;  // ids start at 1; 0 and ~0 are never handed out
  std::unordered_map<std::uintptr_t, std::shared_ptr<SHandleObject>> m_objects;
};

CHandleTable& Handles() {
  static CHandleTable* table = new CHandleTable;  // never destroyed: handles may be closed during exit
  return *table;
}

// A page of the enumeration: enough for any real store in one query, small
// enough that a store of millions of databases stays bounded in memory.
constexpr std::size_t kEnumerationPage = 1024;

// Leaves a failure in GetLastError(); false is what a failed BOOL call answers.
bool Fail(int error) {
  Report(error);
  return false;
}

}  // namespace

DWORD GetLastError() { return t_nLastError; }
void SetLastError(DWORD dwErrCode) { t_nLastError = dwErrCode; }

HANDLE CeFindFirstDatabase(CObjectStore& store, DWORD dwDbaseType) {
  auto enumeration = std::make_shared<SEnumeration>(store);
  enumeration->nType = dwDbaseType;
  // The first page is read now, so that a store that cannot be read fails here.
  if (enumeration->store.ListDatabaseIds(&enumeration->page, 0, dwDbaseType, kEnumerationPage) != 0) {
    return INVALID_HANDLE_VALUE;
  }
  enumeration->bEnd = enumeration->page.size() < kEnumerationPage;
  if (!enumeration->page.empty()) enumeration->nLast = enumeration->page.back();
  return Handles().Add(std::move(enumeration));
}

CEOID CeFindNextDatabase(HANDLE hEnum) {
  const auto enumeration = Handles().Find<SEnumeration>(hEnum);
  if (enumeration == nullptr) return Fail(EBADF), 0;
  std::lock_guard lock(enumeration->mutex);
  SEnumeration& e = *enumeration;
  if (e.nPagePos == e.page.size()) {
    if (e.bEnd) return SetLastError(0), 0;
    if (e.store.ListDatabaseIds(&e.page, e.nLast, e.nType, kEnumerationPage) != 0) return 0;
    e.nPagePos = 0;
    e.bEnd = e.page.size() < kEnumerationPage;
    if (e.page.empty()) return SetLastError(0), 0;
    e.nLast = e.page.back();
  }
  return e.page[e.nPagePos++];
}

BOOL CeOidGetInfo(CObjectStore& store, CEOID oid, CEOIDINFO* info) {
  if (info == nullptr) return Fail(EINVAL);
  SDatabaseInfo database;
  if (store.GetDatabaseInfo(oid, &database) != 0) return false;
  *info = CEOIDINFO{};
  info->wObjType = OBJTYPE_DATABASE;
  CEDBASEINFO& d = info->infDatabase;
  d.dwFlags = database.nFlags;
  // Names are at most 31 units (checked on every read), so the zero fits.
  std::memcpy(d.szDbaseName, database.strName.data(), database.strName.size() * sizeof(char16_t));
  d.dwDbaseType = database.nType;
  d.wNumSortOrder = WORD(database.sortOrders.size());
  d.nNumRecords = database.nRecords;
  d.nSize = database.nSize;
  d.ftLastModified = FILETIME{DWORD(database.nLastModified), DWORD(database.nLastModified >> 32)};
  for (std::size_t i = 0; i < database.sortOrders.size() && i < CEDB_MAXSORTORDER; ++i) {
    d.rgSortSpecs[i] = SORTORDERSPEC{database.sortOrders[i].nPropId, database.sortOrders[i].nFlags};
  }
  return true;
}

HANDLE CeOpenDatabase(CObjectStore& store, CEOID* poid, const char16_t* lpszName, DWORD propid, DWORD dwFlags) {
  if (poid == nullptr || propid != 0 || dwFlags != CEDB_AUTOINCREMENT) return Fail(EINVAL), INVALID_HANDLE_VALUE;
  CEOID database = *poid;
  if (database == 0) {
    if (lpszName == nullptr) return Fail(EINVAL), INVALID_HANDLE_VALUE;
    // Bounded: a longer name cannot be a database's, and is reported as such.
    std::size_t length = 0;
    while (length <= kMaxNameLength && lpszName[length] != u'\0') ++length;
    if (store.FindDatabase(std::u16string_view(lpszName, length), &database) != 0) return INVALID_HANDLE_VALUE;
  } else {
    SDatabaseInfo info;
    if (store.GetDatabaseInfo(database, &info) != 0) return INVALID_HANDLE_VALUE;
  }
  *poid = database;
  return Handles().Add(std::make_shared<SOpenDatabase>(store, database));
}

CEOID CeReadRecordProps(HANDLE hDbase, DWORD dwFlags, WORD* lpcPropID, BYTE** lplpBuffer, DWORD* lpcbBuffer) {
  if (dwFlags != CEDB_ALLOWREALLOC || lpcPropID == nullptr || lplpBuffer == nullptr || lpcbBuffer == nullptr) {
    return Fail(EINVAL), 0;
  }
  const auto database = Handles().Find<SOpenDatabase>(hDbase);
  if (database == nullptr) return Fail(EBADF), 0;
  std::lock_guard lock(database->mutex);
  SRecord& record = database->record;
  if (!database->cursor.Next(&record)) return 0;  // the cursor has set the last error
  // Never a null buffer for a record, even one without properties.
  const std::size_t size = record.buffer.size();
  void* buffer = std::realloc(*lplpBuffer, size != 0 ? size : 1);
  if (buffer == nullptr) return Fail(ENOMEM), 0;
  if (size != 0) std::memcpy(buffer, record.buffer.data(), size);
  *lplpBuffer = static_cast<BYTE*>(buffer);
  *lpcbBuffer = DWORD(size);
  *lpcPropID = record.nPropCount;
  return record.oid;
}

void LocalFree(void* buffer) { std::free(buffer); }

BOOL CeDeleteDatabase(CObjectStore& store, CEOID oidDbase) { return store.DeleteDatabase(oidDbase) == 0; }

BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord) {
  const auto database = Handles().Find<SOpenDatabase>(hDatabase);
  if (database == nullptr) return Fail(EBADF);
  std::lock_guard lock(database->mutex);
  return database->store.DeleteRecord(database->nDatabase, oidRecord) == 0;
}

BOOL CloseHandle(HANDLE hObject) { return Handles().Remove(hObject) ? true : Fail(EBADF); }

}  // namespace zef::store
