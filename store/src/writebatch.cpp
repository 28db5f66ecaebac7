#include "writebatch.h"

#include <cerrno>

#include "schema.h"

namespace zef::store {

namespace {

// No more bytes than this wait for their insert, whatever their count.
constexpr std::size_t kInsertBatchBytes = std::size_t(1) << 20;

}  // namespace

int CWriteBatch::Begin() {
  if (m_bInWrite) return EBUSY;
  if (int error = m_file.OpenForWrite(); error != 0) return error;
  if (int error = m_file.Exec("BEGIN IMMEDIATE"); error != 0) return error;
  int error = 0;
  sqlite3_stmt* statement = Statement(kGetNextOid, &error);
  if (statement != nullptr) {
    CStatementUse use(statement);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
      m_nNextOid = m_nStoredNextOid = sqlite3_column_int64(statement, 0);
      if (m_nNextOid < 1) error = EILSEQ;
    } else {
      error = rc == SQLITE_DONE ? EILSEQ : m_file.Fail(rc);
    }
  }
  if (error == 0 && m_nIdFloor == 0) error = FindIdFloor();
  if (error == 0 && m_nNextOid < m_nIdFloor) m_nNextOid = m_nIdFloor;
  if (error != 0) {
    m_file.Exec("ROLLBACK");
    return error;
  }
  m_bInWrite = true;
  return 0;
}

// The counter is trusted only above every identifier in use: a file whose
// counter was set back (by hand, or by a crafted file) would otherwise
// hand out an identifier again, and a delete by an identifier read
// earlier could then reach another object. Looked at once per connection
// (identifiers only grow); a counter found too low is raised, and the
// raised value is stored by the next commit. Records of a database that
// does not exist count by their database part, so that no new database
// takes them over.
int CWriteBatch::FindIdFloor() {
  static constexpr const char* kHighestId =
      "SELECT max("
      " coalesce((SELECT max(oid) FROM database), 0),"
      " coalesce((SELECT max((SELECT key & 4294967295 FROM record"
      "   WHERE key BETWEEN (d.oid << 32) AND ((d.oid << 32) | 4294967295) ORDER BY key DESC LIMIT 1))"
      "   FROM database d), 0),"
      " coalesce((SELECT (key >> 32) & 4294967295 FROM record WHERE key >= 0 ORDER BY key DESC LIMIT 1), 0),"
      " coalesce((SELECT (key >> 32) & 4294967295 FROM record WHERE key < 0 ORDER BY key DESC LIMIT 1), 0))";
  std::int64_t highest = 0;
  if (int error = m_file.QueryInt(kHighestId, &highest); error != 0) return error;
  m_nIdFloor = highest + 1;
  return 0;
}

int CWriteBatch::FlushCounters() {
  if (m_pending.empty()) return 0;
  int error = 0;
  sqlite3_stmt* statement = Statement(kUpdateCounters, &error);
  if (statement == nullptr) return error;
  const std::int64_t now = std::int64_t(FileTimeNow());
  // Each change leaves `m_pending` once written, so a failed flush never
  // writes one twice.
  for (auto it = m_pending.begin(); it != m_pending.end(); it = m_pending.erase(it)) {
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, it->first);
    sqlite3_bind_int64(statement, 2, it->second.nRecords);
    sqlite3_bind_int64(statement, 3, it->second.nSize);
    sqlite3_bind_int64(statement, 4, now);
    if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) return m_file.Fail(rc);
  }
  return 0;
}

int CWriteBatch::Commit() {
  if (!m_bInWrite) return EINVAL;
  int error = InsertWaiting();
  if (error == 0) error = FlushCounters();
  if (error == 0 && m_nNextOid != m_nStoredNextOid) {
    sqlite3_stmt* statement = Statement(kSetNextOid, &error);
    if (statement != nullptr) {
      CStatementUse use(statement);
      sqlite3_bind_int64(statement, 1, m_nNextOid);
      if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) error = m_file.Fail(rc);
    }
  }
  if (error == 0) error = m_file.Exec("COMMIT");
  if (error != 0) {
    Rollback();
    return error;
  }
  End();
  return 0;
}

void CWriteBatch::Rollback() {
  if (!m_bInWrite) return;
  m_file.Exec("ROLLBACK");
  End();
}

void CWriteBatch::End() {
  m_bInWrite = false;
  m_pending.clear();
  m_known.clear();
  m_waiting.clear();
  m_waitingBytes.clear();
  m_nBrokenWrite = 0;
}

int CWriteBatch::AllocateOid(CEOID* oid) {
  if (m_nNextOid > std::int64_t(UINT32_MAX)) return ENOSPC;
  *oid = CEOID(m_nNextOid++);
  return 0;
}

int CWriteBatch::DatabaseExists(CEOID database) {
  int error = 0;
  sqlite3_stmt* statement = Statement(kDatabaseExists, &error);
  if (statement == nullptr) return error;
  CStatementUse use(statement);
  sqlite3_bind_int64(statement, 1, database);
  const int rc = sqlite3_step(statement);
  return rc == SQLITE_ROW ? 0 : rc == SQLITE_DONE ? ENOENT : m_file.Fail(rc);
}

int CWriteBatch::InsertRecord(CEOID database, const std::uint8_t* stored, std::size_t length, std::size_t size,
                              CEOID* record) {
  if (!m_known.count(database)) {
    if (int error = DatabaseExists(database); error != 0) return error;
    m_known.insert(database);
  }
  if (m_nBrokenWrite != 0) return m_nBrokenWrite;
  CEOID oid = 0;
  if (int error = AllocateOid(&oid); error != 0) return error;
  m_waiting.push_back({schema::RecordKey(database, oid), m_waitingBytes.size(), length});
  m_waitingBytes.insert(m_waitingBytes.end(), stored, stored + length);
  if (m_waiting.size() == kInsertBatch || m_waitingBytes.size() >= kInsertBatchBytes) {
    if (int error = InsertWaiting(); error != 0) return error;
  }
  SDelta& delta = m_pending[database];
  delta.nRecords += 1;
  delta.nSize += std::int64_t(size);
  if (record != nullptr) *record = oid;
  return 0;
}

void CWriteBatch::RecordDeleted(CEOID database, std::size_t size) {
  SDelta& delta = m_pending[database];
  delta.nRecords -= 1;
  delta.nSize -= std::int64_t(size);
}

void CWriteBatch::DatabaseDeleted(CEOID database) {
  m_pending.erase(database);
  m_known.erase(database);
}

sqlite3_stmt* CWriteBatch::Statement(EStatement which, int* error) {
  if (int failed = InsertWaiting(); failed != 0) {
    *error = failed;
    return nullptr;
  }
  return m_file.Prepared(which, error);
}

int CWriteBatch::InsertWaiting() {
  if (m_nBrokenWrite != 0) return m_nBrokenWrite;
  if (m_waiting.empty()) return 0;
  int error = 0;
  const bool whole = m_waiting.size() == kInsertBatch;
  sqlite3_stmt* statement = m_file.Prepared(whole ? kInsertRecords : kInsertRecord, &error);
  for (std::size_t i = 0; statement != nullptr && error == 0 && i < m_waiting.size();) {
    CStatementUse use(statement);
    const std::size_t rows = whole ? kInsertBatch : 1;
    for (std::size_t row = 0; row < rows; ++row, ++i) {
      const SWaiting& record = m_waiting[i];
      sqlite3_bind_int64(statement, int(2 * row + 1), record.nKey);
      sqlite3_bind_blob(statement, int(2 * row + 2), m_waitingBytes.data() + record.nOffset, int(record.nLength),
                        SQLITE_STATIC);
    }
    if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) error = m_file.Fail(rc);
  }
  m_waiting.clear();
  m_waitingBytes.clear();
  m_nBrokenWrite = error;
  return error;
}

}  // namespace zef::store
