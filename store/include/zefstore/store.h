// zefstore: the object store, databases of typed records kept in one SQLite
// file per user and shared by all of the user's programs at once.
//
//   #include <zefstore/store.h>
//
//   zef::store::CObjectStore store(zef::store::DefaultStorePath());
//   zef::store::CEOID db = 0;
//   int error = store.FindDatabase(u"Contacts", &db);
//   if (error == ENOENT) error = store.CreateDatabase({u"Contacts", 7}, &db);
//   if (error == 0)
//     error = store.WriteRecord(db, {zef::store::SPropValue::String(u"Ada"), zef::store::SPropValue::UI4(36)});
//   if (error != 0) std::fprintf(stderr, "store: %s\n", std::strerror(error));
//
// Build: find_package(zefstore) and link zefstore::zefstore, or
// `pkg-config --cflags --libs zefstore`. Requires C++17; no Qt.
//
// Errors are errno values, returned by every call that can fail (0 is
// success) and also left in GetLastError() of <zefstore/ceapi.h>:
//   ENOENT        no such database or record
//   EEXIST        a database of that name exists
//   EINVAL        a bad argument (empty name, a control character in a new
//                 name, U+0000 in a string, an unknown property type)
//   ENAMETOOLONG  a name over kMaxNameLength UTF-16 units
//   E2BIG         a record over kMaxProperties or kMaxRecordSize
//   EBUSY         the store stayed locked by another writer beyond the busy
//                 timeout
//   EILSEQ        the file is not an object store (also a device, FIFO or
//                 socket in its place), or it is damaged (also a record
//                 whose buffer would read out of bounds, or whose strings
//                 and blobs share bytes)
//   ENOTSUP       an object store of a later, unknown version
//   EACCES, EISDIR, EIO, ENOSPC, ENOMEM, EFBIG   from the file system or SQLite
//   ENOSPC        also when object identifiers (32 bits) run out
//
// A store file that does not exist is an empty store: reading it finds no
// database and creates nothing. The first write creates it (and its missing
// directories, mode 0700; the file mode 0600). A symbolic link to a store
// file is followed.
//
// Concurrency: the file is in WAL mode, so readers never wait for a writer.
// Writers take the store's write lock for one call (or one CWriteTransaction)
// and wait up to the busy timeout for it. Reads hold no lock between calls.
// Object identifiers are never reused, so an identifier read earlier names
// the same object or none: deleting an object that was removed meanwhile
// fails with ENOENT and deletes nothing else.
//
// One CObjectStore is one connection: use it from one thread at a time.
#ifndef ZEFSTORE_STORE_H
#define ZEFSTORE_STORE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <zefstore/export.h>
#include <zefstore/propbuffer.h>

namespace zef::store {

// Object identifier of a database or record; 0 is none.
using CEOID = std::uint32_t;

inline constexpr std::size_t kMaxNameLength = 31;  // UTF-16 units
inline constexpr std::size_t kMaxSortOrders = 4;

struct SSortOrder {
  std::uint32_t nPropId = 0;
  std::uint32_t nFlags = 0;
};

struct SNewDatabase {
  SNewDatabase() = default;
  SNewDatabase(std::u16string name, std::uint32_t type) : strName(std::move(name)), nType(type) {}

  std::u16string strName;
  std::uint32_t nType = 0;
  std::uint32_t nFlags = 0;
  std::vector<SSortOrder> sortOrders;  // at most kMaxSortOrders; stored and reported only
};

struct SDatabaseInfo {
  CEOID oid = 0;
  std::u16string strName;
  std::uint32_t nType = 0;
  std::uint32_t nFlags = 0;
  std::vector<SSortOrder> sortOrders;
  std::uint64_t nRecords = 0;
  std::uint64_t nSize = 0;          // sum of the records' property-buffer sizes
  std::uint64_t nLastModified = 0;  // file time (see EPropType::kFileTime) of the last change
};

struct SRecord {
  CEOID oid = 0;
  std::uint16_t nPropCount = 0;
  std::vector<std::uint8_t> buffer;  // the property buffer, validated
};

struct SStoreOptions {
  // How long a writer waits for another writer's lock before EBUSY.
  int nBusyTimeoutMs = 5000;
};

// $XDG_DATA_HOME/zef/objectstore.db, or ~/.local/share/zef/objectstore.db
// when XDG_DATA_HOME is unset, empty or relative. `home` falls back to the
// password database when null or empty.
ZEFSTORE_API std::string DefaultStorePath(const char* xdgDataHome, const char* home);
// The same from this process's environment.
ZEFSTORE_API std::string DefaultStorePath();

// Whether a new database may take this name: 0, or EINVAL (empty, or
// holding a control character: U+0000 to U+001F, U+007F to U+009F, which
// would forge or break the lines that show it), or ENAMETOOLONG. Names of
// existing databases are looked up and listed with the controls they may
// hold from older programs.
ZEFSTORE_API int CheckDatabaseName(std::u16string_view name);

// The current time as a file time.
ZEFSTORE_API std::uint64_t FileTimeNow();

class ZEFSTORE_API CObjectStore {
 public:
  // Touches nothing: the file is opened at the first call that needs it.
  explicit CObjectStore(std::string path, SStoreOptions options = {});
  ~CObjectStore();
  CObjectStore(const CObjectStore&) = delete;
  CObjectStore& operator=(const CObjectStore&) = delete;

  const std::string& Path() const;
  const SStoreOptions& Options() const;

  // Opens the file now, to learn whether it is a readable store: 0 also for
  // a missing file (an empty store).
  int Check();

  // All databases, in the order they were created.
  int ListDatabases(std::vector<SDatabaseInfo>* databases);
  // The identifiers of at most `max` databases created after `after` (0:
  // from the first), of type `type` (0: any), in creation order: a walk over
  // a store of any size holds a bounded amount, and one database whose
  // information is damaged does not hide the others.
  int ListDatabaseIds(std::vector<CEOID>* databases, CEOID after, std::uint32_t type, std::size_t max);
  int FindDatabase(std::u16string_view name, CEOID* database);
  int GetDatabaseInfo(CEOID database, SDatabaseInfo* info);
  // The record at a 0-based position of the read order; ENOENT beyond the end.
  int FindRecordAt(CEOID database, std::uint64_t position, CEOID* record);

  // Names are unique and compared exactly (letter case counts).
  int CreateDatabase(const SNewDatabase& request, CEOID* database = nullptr);
  int WriteRecord(CEOID database, const SPropValue* values, std::size_t count, CEOID* record = nullptr);
  int WriteRecord(CEOID database, const std::vector<SPropValue>& values, CEOID* record = nullptr) {
    return WriteRecord(database, values.data(), values.size(), record);
  }
  // A buffer built elsewhere; it is validated first (EILSEQ when it is not
  // a sound buffer of `propCount` properties).
  int WriteRecordBuffer(CEOID database, std::uint16_t propCount, const std::uint8_t* buffer, std::size_t size,
                        CEOID* record = nullptr);
  // ENOENT when the record is not (or no longer) in that database.
  int DeleteRecord(CEOID database, CEOID record);
  // The database and all its records; ENOENT when it is gone.
  int DeleteDatabase(CEOID database);

  // Groups writes into one transaction that holds the write lock until
  // Commit or Rollback; see CWriteTransaction. Not nested: EBUSY within one.
  int BeginWrite();
  int Commit();
  void Rollback();
  bool InWrite() const;

  struct SImpl;

 private:
  friend class CRecordCursor;
  std::unique_ptr<SImpl> m_pImpl;
};

// Holds the write lock of `store` from construction (see Error()) until
// Commit(); rolled back when destroyed uncommitted. Records written inside
// are inserted in batches, so a failure of the file (a full disk) may be
// reported by a later call or by Commit; the write can then only be rolled
// back, never committed without them.
class ZEFSTORE_API CWriteTransaction {
 public:
  explicit CWriteTransaction(CObjectStore& store);
  ~CWriteTransaction();
  CWriteTransaction(const CWriteTransaction&) = delete;
  CWriteTransaction& operator=(const CWriteTransaction&) = delete;

  int Error() const { return m_nError; }
  int Commit();

 private:
  CObjectStore& m_store;
  int m_nError = 0;
  bool m_bOpen = false;
};

// The records of one database in read order (object identifier ascending,
// which is the order they were written). Reads in batches, each in its own
// short read transaction, so no lock is held between calls; records written
// meanwhile after the last one read are met, removed ones are not.
class ZEFSTORE_API CRecordCursor {
 public:
  CRecordCursor(CObjectStore& store, CEOID database);
  ~CRecordCursor();
  CRecordCursor(const CRecordCursor&) = delete;
  CRecordCursor& operator=(const CRecordCursor&) = delete;

  // The next record; false at the end (Error() is 0) or on a failure
  // (Error() holds it; ENOENT once the database is gone, EILSEQ for a
  // record that is not sound). After false, every later call is false too.
  bool Next(SRecord* record);
  int Error() const { return m_nError; }

 private:
  bool Fetch();

  CObjectStore& m_store;
  CEOID m_nDatabase;
  CEOID m_nLastOid = 0;
  std::vector<SRecord> m_batch;  // its capacity is reused from batch to batch
  std::size_t m_nBatchCount = 0;
  std::u16string m_strScratch;
  std::size_t m_nBatchPos = 0;
  int m_nError = 0;
  int m_nDeferredError = 0;  // met after the batch's last good record
  bool m_bEnd = false;
};

}  // namespace zef::store

#endif
