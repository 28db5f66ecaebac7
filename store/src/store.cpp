#include <zefstore/store.h>
#include <zefstore/text.h>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "lasterror.h"
#include "packed.h"
#include "schema.h"
#include "storefile.h"
#include "writebatch.h"

namespace zef::store {

namespace {

std::int64_t FileTimeFromUnixNanoseconds(std::int64_t ns) {
  return ns / 100 + kFileTimeEpochOffsetSeconds * 10'000'000;
}

// What a name read from the file, or looked up, must be. Looser than
// CheckDatabaseName: a name with a control character that an older program
// stored is still listed, and can be found to be dropped.
int CheckStoredName(std::u16string_view name) {
  if (name.empty() || name.find(u'\0') != std::u16string_view::npos) return EINVAL;
  if (name.size() > kMaxNameLength) return ENAMETOOLONG;
  return 0;
}

bool FitsOid(std::int64_t value) { return value > 0 && value <= std::int64_t(UINT32_MAX); }
bool FitsU32(std::int64_t value) { return value >= 0 && value <= std::int64_t(UINT32_MAX); }

// Reads one row of kRecordBatch of `database` into `record`; false when
// the row is not a sound record after `lastOid`.
bool ReadRecordRow(sqlite3_stmt* statement, CEOID database, CEOID lastOid, SRecord* record, std::u16string* scratch) {
  const std::int64_t key = sqlite3_column_int64(statement, 0);
  const CEOID oid = schema::RecordOfKey(key);
  const auto* stored = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 1));
  const std::size_t storedSize = std::size_t(sqlite3_column_bytes(statement, 1));
  // The query's range already ensures the first two; checked again so
  // that no file can make the walk go backwards.
  if (schema::DatabaseOfKey(key) != database || oid <= lastOid || sqlite3_column_type(statement, 1) != SQLITE_BLOB) {
    return false;
  }
  // Rebuilt, then checked as any buffer from outside would be: the
  // rebuild is bounded by `size`, and the check that no offset leads
  // outside does not trust the rebuild.
  std::size_t count = 0;
  if (!packed::Unpack(stored, storedSize, &count, &record->buffer, scratch) ||
      ValidatePropertyBuffer(record->buffer.data(), record->buffer.size(), count) != 0) {
    return false;
  }
  record->oid = oid;
  record->nPropCount = std::uint16_t(count);
  return true;
}

}  // namespace

// --- CObjectStore::SImpl -----------------------------------------------------

struct CObjectStore::SImpl {
  SImpl(std::string path, SStoreOptions options) : file(std::move(path), options), write(file) {}

  CStoreFile file;
  CWriteBatch write;  // declared after the file, so that it rolls back before the file closes
  // The stored form of the record being written: nStoredLength bytes from nStoredBegin.
  std::vector<std::uint8_t> stored;
  std::size_t nStoredBegin = 0;
  std::size_t nStoredLength = 0;

  sqlite3_stmt* Statement(EStatement which, int* error) { return write.Statement(which, error); }

  // --- reading ---------------------------------------------------------------

  // Reads one row of kInfo or kList.
  static int ReadInfo(sqlite3_stmt* statement, SDatabaseInfo* info) {
    const std::int64_t oid = sqlite3_column_int64(statement, 0);
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
    const int nameBytes = sqlite3_column_bytes(statement, 1);
    const std::int64_t type = sqlite3_column_int64(statement, 2);
    const std::int64_t flags = sqlite3_column_int64(statement, 3);
    const auto* sort = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 4));
    const int sortBytes = sqlite3_column_bytes(statement, 4);
    const std::int64_t records = sqlite3_column_int64(statement, 5);
    const std::int64_t size = sqlite3_column_int64(statement, 6);
    if (!FitsOid(oid) || name == nullptr || !FitsU32(type) || !FitsU32(flags) || records < 0 || size < 0 ||
        sortBytes % 8 != 0 || std::size_t(sortBytes) > 8 * kMaxSortOrders) {
      return EILSEQ;
    }
    std::u16string name16;
    if (!Utf8ToUtf16(std::string_view(name, std::size_t(nameBytes)), &name16) || CheckStoredName(name16) != 0) {
      return EILSEQ;
    }
    info->oid = CEOID(oid);
    info->strName = std::move(name16);
    info->nType = std::uint32_t(type);
    info->nFlags = std::uint32_t(flags);
    info->sortOrders.clear();
    for (int at = 0; at < sortBytes; at += 8) {
      SSortOrder order;
      std::memcpy(&order.nPropId, sort + at, 4);
      std::memcpy(&order.nFlags, sort + at + 4, 4);
      info->sortOrders.push_back(order);
    }
    info->nRecords = std::uint64_t(records);
    info->nSize = std::uint64_t(size);
    info->nLastModified = std::uint64_t(sqlite3_column_int64(statement, 7));
    return 0;
  }

  int List(std::vector<SDatabaseInfo>* out) {
    out->clear();
    if (int error = file.OpenForRead(); error != 0 || !file.Ready()) return error;
    if (write.InWrite()) {
      if (int error = write.FlushCounters(); error != 0) return error;
    }
    int error = 0;
    sqlite3_stmt* statement = Statement(kList, &error);
    if (statement == nullptr) return error;
    CStatementUse use(statement);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      out->emplace_back();
      if (int bad = ReadInfo(statement, &out->back()); bad != 0) return bad;
    }
    return rc == SQLITE_DONE ? 0 : file.Fail(rc);
  }

  int IdPage(CEOID after, std::uint32_t type, std::size_t max, std::vector<CEOID>* out) {
    out->clear();
    if (int error = file.OpenForRead(); error != 0 || !file.Ready()) return error;
    int error = 0;
    sqlite3_stmt* statement = Statement(kIdPage, &error);
    if (statement == nullptr) return error;
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, after);
    sqlite3_bind_int64(statement, 2, type);
    sqlite3_bind_int64(statement, 3, max > std::size_t(INT64_MAX) ? INT64_MAX : std::int64_t(max));
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const std::int64_t oid = sqlite3_column_int64(statement, 0);
      if (!FitsOid(oid)) return EILSEQ;
      out->push_back(CEOID(oid));
    }
    return rc == SQLITE_DONE ? 0 : file.Fail(rc);
  }
};

// --- free functions ------------------------------------------------------------

std::string DefaultStorePath(const char* xdgDataHome, const char* home) {
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/zef/objectstore.db";
  std::string base = home != nullptr ? home : "";
  if (base.empty()) {
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) base = user->pw_dir;
  }
  if (base.empty()) return {};
  return base + "/.local/share/zef/objectstore.db";
}

std::string DefaultStorePath() { return DefaultStorePath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")); }

int CheckDatabaseName(std::u16string_view name) {
  if (int error = CheckStoredName(name); error != 0) return error;
  for (char16_t unit : name) {
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) return EINVAL;
  }
  return 0;
}

std::uint64_t FileTimeNow() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::uint64_t(
      FileTimeFromUnixNanoseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count()));
}

// --- CObjectStore ----------------------------------------------------------------

CObjectStore::CObjectStore(std::string path, SStoreOptions options)
    : m_pImpl(std::make_unique<SImpl>(std::move(path), options)) {}

CObjectStore::~CObjectStore() = default;

const std::string& CObjectStore::Path() const { return m_pImpl->file.Path(); }
const SStoreOptions& CObjectStore::Options() const { return m_pImpl->file.Options(); }
bool CObjectStore::InWrite() const { return m_pImpl->write.InWrite(); }

int CObjectStore::Check() { return Report(m_pImpl->file.OpenForRead()); }

int CObjectStore::ListDatabases(std::vector<SDatabaseInfo>* databases) { return Report(m_pImpl->List(databases)); }

int CObjectStore::ListDatabaseIds(std::vector<CEOID>* databases, CEOID after, std::uint32_t type, std::size_t max) {
  return Report(m_pImpl->IdPage(after, type, max, databases));
}

int CObjectStore::FindDatabase(std::u16string_view name, CEOID* database) {
  SImpl& d = *m_pImpl;
  if (int error = CheckStoredName(name); error != 0) return Report(error);
  std::string name8;
  if (!Utf16ToUtf8(name, &name8)) return Report(EINVAL);
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return Report(error != 0 ? error : ENOENT);
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kFindByName, &error);
  if (statement == nullptr) return Report(error);
  CStatementUse use(statement);
  sqlite3_bind_text(statement, 1, name8.data(), int(name8.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return Report(ENOENT);
  if (rc != SQLITE_ROW) return Report(d.file.Fail(rc));
  const std::int64_t oid = sqlite3_column_int64(statement, 0);
  if (!FitsOid(oid)) return Report(EILSEQ);
  *database = CEOID(oid);
  return 0;
}

int CObjectStore::GetDatabaseInfo(CEOID database, SDatabaseInfo* info) {
  SImpl& d = *m_pImpl;
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return Report(error != 0 ? error : ENOENT);
  if (d.write.InWrite()) {
    if (int error = d.write.FlushCounters(); error != 0) return Report(error);
  }
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kInfo, &error);
  if (statement == nullptr) return Report(error);
  CStatementUse use(statement);
  sqlite3_bind_int64(statement, 1, database);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return Report(ENOENT);
  if (rc != SQLITE_ROW) return Report(d.file.Fail(rc));
  return Report(SImpl::ReadInfo(statement, info));
}

int CObjectStore::FindRecordAt(CEOID database, std::uint64_t position, CEOID* record) {
  SImpl& d = *m_pImpl;
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return Report(error != 0 ? error : ENOENT);
  if (position > std::uint64_t(INT64_MAX)) return Report(ENOENT);
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kRecordAt, &error);
  if (statement == nullptr) return Report(error);
  CStatementUse use(statement);
  sqlite3_bind_int64(statement, 1, schema::RecordKey(database, 0));
  sqlite3_bind_int64(statement, 2, schema::RecordKey(database, UINT32_MAX));
  sqlite3_bind_int64(statement, 3, std::int64_t(position));
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return Report(ENOENT);
  if (rc != SQLITE_ROW) return Report(d.file.Fail(rc));
  const CEOID oid = schema::RecordOfKey(sqlite3_column_int64(statement, 0));
  if (oid == 0) return Report(EILSEQ);
  *record = oid;
  return 0;
}

int CObjectStore::CreateDatabase(const SNewDatabase& request, CEOID* database) {
  SImpl& d = *m_pImpl;
  if (int error = CheckDatabaseName(request.strName); error != 0) return Report(error);
  if (request.sortOrders.size() > kMaxSortOrders) return Report(EINVAL);
  std::string name8;
  if (!Utf16ToUtf8(request.strName, &name8)) return Report(EINVAL);
  std::uint8_t sort[8 * kMaxSortOrders] = {};
  for (std::size_t i = 0; i < request.sortOrders.size(); ++i) {
    std::memcpy(sort + 8 * i, &request.sortOrders[i].nPropId, 4);
    std::memcpy(sort + 8 * i + 4, &request.sortOrders[i].nFlags, 4);
  }
  return Report(d.write.Write([&]() -> int {
    int error = 0;
    sqlite3_stmt* find = d.Statement(kFindByName, &error);
    if (find == nullptr) return error;
    {
      CStatementUse use(find);
      sqlite3_bind_text(find, 1, name8.data(), int(name8.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(find);
      if (rc == SQLITE_ROW) return EEXIST;
      if (rc != SQLITE_DONE) return d.file.Fail(rc);
    }
    CEOID oid = 0;
    if (int full = d.write.AllocateOid(&oid); full != 0) return full;
    sqlite3_stmt* insert = d.Statement(kInsertDatabase, &error);
    if (insert == nullptr) return error;
    CStatementUse use(insert);
    sqlite3_bind_int64(insert, 1, oid);
    sqlite3_bind_text(insert, 2, name8.data(), int(name8.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 3, request.nType);
    sqlite3_bind_int64(insert, 4, request.nFlags);
    sqlite3_bind_blob(insert, 5, sort, int(8 * request.sortOrders.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 6, std::int64_t(FileTimeNow()));
    if (const int rc = sqlite3_step(insert); rc != SQLITE_DONE) return d.file.Fail(rc);
    d.write.Created(oid);
    if (database != nullptr) *database = oid;
    return 0;
  }));
}

int CObjectStore::WriteRecord(CEOID database, const SPropValue* values, std::size_t count, CEOID* record) {
  SImpl& d = *m_pImpl;
  std::size_t size = 0;
  if (int error = packed::Pack(values, count, &d.stored, &d.nStoredBegin, &d.nStoredLength, &size); error != 0) {
    return Report(error);
  }
  return Report(d.write.Write(
      [&] { return d.write.InsertRecord(database, d.stored.data() + d.nStoredBegin, d.nStoredLength, size, record); }));
}

int CObjectStore::WriteRecordBuffer(CEOID database, std::uint16_t propCount, const std::uint8_t* buffer,
                                    std::size_t size, CEOID* record) {
  SImpl& d = *m_pImpl;
  if (buffer == nullptr && size != 0) return Report(EINVAL);
  if (int error = ValidatePropertyBuffer(buffer, size, propCount); error != 0) return Report(error);
  packed::PackBuffer(buffer, size, propCount, &d.stored);
  d.nStoredBegin = 0;
  d.nStoredLength = d.stored.size();
  return Report(d.write.Write(
      [&] { return d.write.InsertRecord(database, d.stored.data() + d.nStoredBegin, d.nStoredLength, size, record); }));
}

int CObjectStore::DeleteRecord(CEOID database, CEOID record) {
  SImpl& d = *m_pImpl;
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return Report(error != 0 ? error : ENOENT);
  return Report(d.write.Write([&]() -> int {
    int error = 0;
    sqlite3_stmt* statement = d.Statement(kDeleteRecord, &error);
    if (statement == nullptr) return error;
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, schema::RecordKey(database, record));
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return ENOENT;
    if (rc != SQLITE_ROW) return d.file.Fail(rc);
    std::size_t count = 0, size = 0;
    if (!packed::ReadHeader(static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 0)),
                            std::size_t(sqlite3_column_bytes(statement, 0)), &count, &size)) {
      return EILSEQ;
    }
    if ((rc = sqlite3_step(statement)) != SQLITE_DONE) return d.file.Fail(rc);
    d.write.RecordDeleted(database, size);
    return 0;
  }));
}

int CObjectStore::DeleteDatabase(CEOID database) {
  SImpl& d = *m_pImpl;
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return Report(error != 0 ? error : ENOENT);
  return Report(d.write.Write([&]() -> int {
    if (int error = d.write.DatabaseExists(database); error != 0) return error;
    for (EStatement which : {kDeleteDatabaseRecords, kDeleteDatabase}) {
      int error = 0;
      sqlite3_stmt* statement = d.Statement(which, &error);
      if (statement == nullptr) return error;
      CStatementUse use(statement);
      if (which == kDeleteDatabase) {
        sqlite3_bind_int64(statement, 1, database);
      } else {
        sqlite3_bind_int64(statement, 1, schema::RecordKey(database, 0));
        sqlite3_bind_int64(statement, 2, schema::RecordKey(database, UINT32_MAX));
      }
      if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) return d.file.Fail(rc);
    }
    d.write.DatabaseDeleted(database);
    return 0;
  }));
}

int CObjectStore::BeginWrite() { return Report(m_pImpl->write.Begin()); }
int CObjectStore::Commit() { return Report(m_pImpl->write.Commit()); }
void CObjectStore::Rollback() { m_pImpl->write.Rollback(); }

// --- CWriteTransaction -------------------------------------------------------------

CWriteTransaction::CWriteTransaction(CObjectStore& store) : m_store(store) {
  m_nError = m_store.BeginWrite();
  m_bOpen = m_nError == 0;
}

CWriteTransaction::~CWriteTransaction() {
  if (m_bOpen) m_store.Rollback();
}

int CWriteTransaction::Commit() {
  if (!m_bOpen) return Report(m_nError != 0 ? m_nError : EINVAL);
  m_bOpen = false;
  m_nError = m_store.Commit();
  return m_nError;
}

// --- CRecordCursor -----------------------------------------------------------------

CRecordCursor::CRecordCursor(CObjectStore& store, CEOID database) : m_store(store), m_nDatabase(database) {}

CRecordCursor::~CRecordCursor() = default;

bool CRecordCursor::Next(SRecord* record) {
  if (m_nBatchPos == m_nBatchCount) {
    if (m_nDeferredError != 0) {
      m_bEnd = true;
      m_nError = m_nDeferredError;
      m_nDeferredError = 0;
      SetLastError(DWORD(m_nError));
    }
    if (m_bEnd || !Fetch()) return false;
  }
  SRecord& next = m_batch[m_nBatchPos++];
  record->oid = next.oid;
  record->nPropCount = next.nPropCount;
  // Swapped, not moved, so the batch keeps reusing the caller's capacity.
  std::swap(record->buffer, next.buffer);
  return true;
}

// Reads the next batch in a read transaction of its own. False at the end
// or on a failure.
bool CRecordCursor::Fetch() {
  // Few enough that a batch is read in well under a millisecond.
  constexpr std::int64_t kBatchRecords = 256;
  constexpr std::size_t kBatchBytes = std::size_t(1) << 20;
  CObjectStore::SImpl& d = *m_store.m_pImpl;
  m_nBatchPos = m_nBatchCount = 0;
  // Ends the walk, or, when this batch already holds good records, hands
  // them out first: a damaged record stops the walk where it lies.
  auto finish = [this](int error) {
    if (m_nBatchCount > 0 && error != 0) {
      m_nDeferredError = error;
      return true;
    }
    m_bEnd = true;
    m_nError = Report(error);
    if (error == 0) SetLastError(0);
    return false;
  };
  if (int error = d.file.OpenForRead(); error != 0 || !d.file.Ready()) return finish(error != 0 ? error : ENOENT);
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kRecordBatch, &error);
  if (statement == nullptr) return finish(error);
  {
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, schema::RecordKey(m_nDatabase, m_nLastOid));
    sqlite3_bind_int64(statement, 2, schema::RecordKey(m_nDatabase, UINT32_MAX));
    sqlite3_bind_int64(statement, 3, kBatchRecords);
    std::size_t bytes = 0;
    int rc = SQLITE_OK;
    while (bytes < kBatchBytes && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      if (m_nBatchCount == m_batch.size()) m_batch.emplace_back();
      SRecord& record = m_batch[m_nBatchCount];
      if (!ReadRecordRow(statement, m_nDatabase, m_nLastOid, &record, &m_strScratch)) return finish(EILSEQ);
      ++m_nBatchCount;
      m_nLastOid = record.oid;
      bytes += record.buffer.size();
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return finish(d.file.Fail(rc));
  }
  if (m_nBatchCount == 0) {
    // The end: tell an emptied database from one that is gone.
    const int gone = d.write.DatabaseExists(m_nDatabase);
    return finish(gone);
  }
  return true;
}

}  // namespace zef::store
