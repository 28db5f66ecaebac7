#include <zefstore/objectstore.h>
#include <zefstore/store.h>
#include <zefstore/text.h>

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "packed.h"
#include "schema.h"

namespace zef::store {

namespace {

thread_local DWORD t_nLastError = 0;

// Leaves a failure in GetLastError() and hands it on.
int Report(int error) {
  if (error != 0) t_nLastError = DWORD(error);
  return error;
}

// The errno that stands for a SQLite result.
int ErrnoOf(sqlite3* db, int rc) {
  // Identifiers are handed out from a counter that only grows, so one that
  // is taken already means the file was damaged; a taken name is EEXIST.
  if (rc == SQLITE_CONSTRAINT_PRIMARYKEY) return EILSEQ;
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return 0;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return EBUSY;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
      return EILSEQ;
    case SQLITE_CONSTRAINT:
      return EEXIST;
    case SQLITE_NOMEM:
      return ENOMEM;
    case SQLITE_FULL:
      return ENOSPC;
    case SQLITE_TOOBIG:
      return EFBIG;
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_READONLY:
      return EACCES;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      const int system = db != nullptr ? sqlite3_system_errno(db) : 0;
      return system != 0 ? system : EIO;
    }
    default:
      return EIO;
  }
}

// Creates the missing directories leading to `path`, each mode 0700.
int MakeParentDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

std::int64_t FileTimeFromUnixNanoseconds(std::int64_t ns) {
  return ns / 100 + kFileTimeEpochOffsetSeconds * 10'000'000;
}

enum EStatement {
  kFindByName,
  kInfo,
  kList,
  kIdPage,
  kRecordBatch,
  kRecordAt,
  kDatabaseExists,
  kInsertDatabase,
  kInsertRecord,
  kDeleteRecord,
  kDeleteDatabaseRecords,
  kDeleteDatabase,
  kUpdateCounters,
  kGetNextOid,
  kSetNextOid,
  kInsertRecords,  // kInsertBatch rows at once
  kStatementCount
};

// Records written in one transaction are inserted this many per statement:
// the per-statement work of SQLite (a cursor opened, a seek, a halt) was the
// largest cost of an import left, and a batch shares it.
constexpr std::size_t kInsertBatch = 64;
// And no more bytes than this wait for their insert.
constexpr std::size_t kInsertBatchBytes = std::size_t(1) << 20;

std::string InsertRecordsSql() {
  std::string sql = "INSERT INTO record(key, data) VALUES(?, ?)";
  for (std::size_t i = 1; i < kInsertBatch; ++i) sql += ",(?, ?)";
  return sql;
}

constexpr const char* kStatementSql[kStatementCount] = {
    "SELECT oid FROM database WHERE name = ?1",
    "SELECT oid, name, type, flags, sortorders, records, size, modified FROM database WHERE oid = ?1",
    "SELECT oid, name, type, flags, sortorders, records, size, modified FROM database ORDER BY oid",
    "SELECT oid FROM database WHERE oid > ?1 AND (?2 = 0 OR type = ?2) ORDER BY oid LIMIT ?3",
    "SELECT key, data FROM record WHERE key > ?1 AND key <= ?2 ORDER BY key LIMIT ?3",
    "SELECT key FROM record WHERE key >= ?1 AND key <= ?2 ORDER BY key LIMIT 1 OFFSET ?3",
    "SELECT 1 FROM database WHERE oid = ?1",
    "INSERT INTO database(oid, name, type, flags, sortorders, records, size, modified)"
    " VALUES(?1, ?2, ?3, ?4, ?5, 0, 0, ?6)",
    "INSERT INTO record(key, data) VALUES(?1, ?2)",
    "DELETE FROM record WHERE key = ?1 RETURNING data",
    "DELETE FROM record WHERE key >= ?1 AND key <= ?2",
    "DELETE FROM database WHERE oid = ?1",
    "UPDATE database SET records = records + ?2, size = size + ?3, modified = ?4 WHERE oid = ?1",
    "SELECT value FROM meta WHERE key = 'next_oid'",
    "UPDATE meta SET value = ?1 WHERE key = 'next_oid'",
    nullptr,  // kInsertRecords: made by InsertRecordsSql
};

// Resets a statement when it goes out of scope, so that no statement keeps
// a read transaction open between calls.
class CStatementUse {
 public:
  explicit CStatementUse(sqlite3_stmt* statement) : m_pStatement(statement) {}
  ~CStatementUse() { sqlite3_reset(m_pStatement); }
  CStatementUse(const CStatementUse&) = delete;
  CStatementUse& operator=(const CStatementUse&) = delete;
  sqlite3_stmt* operator*() const { return m_pStatement; }

 private:
  sqlite3_stmt* m_pStatement;
};

// The rows of sqlite_schema that a sound store has, "type name tbl_name sql"
// each, sorted; made once per process from an in-memory database.
const std::string& ExpectedSchema();

std::string ReadSchema(sqlite3* db, int* error) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY name", -1,
                              &statement, nullptr);
  std::string rows;
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    if ((rc = sqlite3_step(statement)) != SQLITE_ROW) break;
    for (int column = 0; column < 4; ++column) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      rows += text != nullptr ? text : "(null)";
      rows += '\x1f';
    }
    rows += '\n';
  }
  *error = rc == SQLITE_DONE ? 0 : ErrnoOf(db, rc);
  sqlite3_finalize(statement);
  return rows;
}

const std::string& ExpectedSchema() {
  static const std::string expected = [] {
    sqlite3* db = nullptr;
    std::string rows;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, schema::kCreate, nullptr, nullptr, nullptr) == SQLITE_OK) {
      int error = 0;
      rows = ReadSchema(db, &error);
    }
    sqlite3_close(db);
    return rows;
  }();
  return expected;
}

int QueryInt(sqlite3* db, const char* sql, std::int64_t* value) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) *value = sqlite3_column_int64(statement, 0);
  }
  const int error = rc == SQLITE_ROW ? 0 : rc == SQLITE_OK || rc == SQLITE_DONE ? EILSEQ : ErrnoOf(db, rc);
  sqlite3_finalize(statement);
  return error;
}

enum class EFileState { kReady, kBlank };

// Whether the open file is a sound store (kReady) or a file that holds no
// schema yet (kBlank: empty, or being made by another process); any other
// file is EILSEQ, a store of a later version ENOTSUP.
int ExamineFile(sqlite3* db, EFileState* state) {
  // One read transaction for the three reads (a savepoint, so that this also
  // works inside a write): read apart, another process making the schema
  // meanwhile could be seen half made and the file taken for a foreign one.
  if (const int rc = sqlite3_exec(db, "SAVEPOINT examine", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
    return ErrnoOf(db, rc);
  }
  std::int64_t applicationId = 0, version = 0;
  int error = QueryInt(db, "PRAGMA application_id", &applicationId);
  if (error == 0) error = QueryInt(db, "PRAGMA user_version", &version);
  const std::string rows = error == 0 ? ReadSchema(db, &error) : std::string();
  sqlite3_exec(db, "RELEASE examine", nullptr, nullptr, nullptr);
  if (error != 0) return error;
  if (applicationId == 0 && version == 0 && rows.empty()) {
    *state = EFileState::kBlank;
    return 0;
  }
  if (applicationId != schema::kApplicationId) return EILSEQ;
  if (version > schema::kSchemaVersion) return ENOTSUP;
  if (version != schema::kSchemaVersion || rows != ExpectedSchema()) return EILSEQ;
  *state = EFileState::kReady;
  return 0;
}

// A store is a regular file (reached through symbolic links, so that the
// user may keep it elsewhere). Anything else (a device such as /dev/zero, a
// FIFO, a socket) is not a store, and must not be read as an empty one or
// written into; a directory keeps its own code.
int RegularFileError(const struct stat& info) {
  if (S_ISDIR(info.st_mode)) return EISDIR;
  return S_ISREG(info.st_mode) ? 0 : EILSEQ;
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

}  // namespace

// --- CObjectStore::SImpl -----------------------------------------------------

struct CObjectStore::SImpl {
  struct SDelta {
    std::int64_t nRecords = 0;
    std::int64_t nSize = 0;
  };

  std::string strPath;
  SStoreOptions options;
  sqlite3* pDb = nullptr;
  bool bReady = false;  // the file holds a verified store
  sqlite3_stmt* statements[kStatementCount] = {};

  bool bInWrite = false;
  std::int64_t nNextOid = 0;
  std::int64_t nStoredNextOid = 0;
  std::int64_t nIdFloor = 0;  // above every identifier in use; 0 until looked at (FindIdFloor)
  std::unordered_map<CEOID, SDelta> pending;  // counter changes not yet written
  std::unordered_set<CEOID> known;            // databases seen to exist in this write
  // The stored form of the record being written: nStoredLength bytes from nStoredBegin.
  std::vector<std::uint8_t> stored;
  std::size_t nStoredBegin = 0;
  std::size_t nStoredLength = 0;

  // Records of this write waiting for their insert (see kInsertBatch): every
  // other statement first inserts them, so no query ever misses one.
  struct SWaiting {
    std::int64_t nKey;
    std::size_t nOffset;
    std::size_t nLength;
  };
  std::vector<SWaiting> waiting;
  std::vector<std::uint8_t> waitingBytes;
  // A failed insert of waiting records breaks the write for good: it can
  // only be rolled back, never committed without them.
  int nBrokenWrite = 0;

  ~SImpl() { Close(); }

  void Close() {
    if (bInWrite) Rollback();
    for (sqlite3_stmt*& statement : statements) {
      sqlite3_finalize(statement);
      statement = nullptr;
    }
    sqlite3_close(pDb);
    pDb = nullptr;
    bReady = false;
    nIdFloor = 0;
  }

  int Fail(int rc) { return ErrnoOf(pDb, rc); }

  int Exec(const char* sql) {
    const int rc = sqlite3_exec(pDb, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : Fail(rc);
  }

  // A statement ready to run, after the waiting records are inserted.
  sqlite3_stmt* Statement(EStatement which, int* error) {
    if (int failed = InsertWaiting(); failed != 0) {
      *error = failed;
      return nullptr;
    }
    return Prepared(which, error);
  }

  sqlite3_stmt* Prepared(EStatement which, int* error) {
    if (statements[which] == nullptr) {
      const std::string batch = which == kInsertRecords ? InsertRecordsSql() : std::string();
      const int rc = sqlite3_prepare_v3(pDb, which == kInsertRecords ? batch.c_str() : kStatementSql[which], -1,
                                        SQLITE_PREPARE_PERSISTENT, &statements[which], nullptr);
      if (rc != SQLITE_OK) {
        *error = Fail(rc);
        return nullptr;
      }
    }
    return statements[which];
  }

  int InsertWaiting() {
    if (nBrokenWrite != 0) return nBrokenWrite;
    if (waiting.empty()) return 0;
    int error = 0;
    const bool whole = waiting.size() == kInsertBatch;
    sqlite3_stmt* statement = Prepared(whole ? kInsertRecords : kInsertRecord, &error);
    for (std::size_t i = 0; statement != nullptr && error == 0 && i < waiting.size();) {
      CStatementUse use(statement);
      const std::size_t rows = whole ? kInsertBatch : 1;
      for (std::size_t row = 0; row < rows; ++row, ++i) {
        const SWaiting& record = waiting[i];
        sqlite3_bind_int64(statement, int(2 * row + 1), record.nKey);
        sqlite3_bind_blob(statement, int(2 * row + 2), waitingBytes.data() + record.nOffset, int(record.nLength),
                          SQLITE_STATIC);
      }
      if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) error = Fail(rc);
    }
    waiting.clear();
    waitingBytes.clear();
    nBrokenWrite = error;
    return error;
  }

  int Connect(int flags) {
    if (strPath.empty()) return EINVAL;
    const int rc = sqlite3_open_v2(strPath.c_str(), &pDb, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      const int error = Fail(rc);
      Close();
      return error;
    }
    sqlite3_extended_result_codes(pDb, 1);
    sqlite3_busy_timeout(pDb, options.nBusyTimeoutMs);
    // A record never needs more; a damaged or hostile file cannot make a
    // read allocate more.
    sqlite3_limit(pDb, SQLITE_LIMIT_LENGTH, int(kMaxRecordSize) + 1024);
    sqlite3_db_config(pDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(pDb, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(pDb, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(pDb, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    // In WAL mode NORMAL loses no commit when a program crashes, only at a
    // power loss, and spares a sync per transaction.
    return Exec("PRAGMA synchronous=NORMAL");
  }

  // For reading: 0 with bReady, or 0 without it for a store that does not
  // exist yet (nothing is created), or the error of a file that is not a
  // readable store.
  int OpenForRead() {
    if (bReady) return 0;
    if (pDb == nullptr) {
      struct stat info {};
      if (strPath.empty()) return EINVAL;
      if (::stat(strPath.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
      if (int error = RegularFileError(info); error != 0) return error;
      if (int error = Connect(SQLITE_OPEN_READWRITE); error != 0) return error;
    }
    EFileState state = EFileState::kBlank;
    if (int error = ExamineFile(pDb, &state); error != 0) {
      Close();
      return error;
    }
    bReady = state == EFileState::kReady;
    return 0;
  }

  // For writing: creates the file with its directories and schema when
  // missing. Several processes may do this at once: the schema is made in
  // one write transaction by whichever comes first.
  int OpenForWrite() {
    if (bReady) return 0;
    if (pDb == nullptr) {
      if (strPath.empty()) return EINVAL;
      if (int error = MakeParentDirectories(strPath); error != 0) return error;
      // Non-blocking, so that a FIFO in the store's place cannot hold the open.
      const int fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
      if (fd < 0) return errno;
      struct stat info {};
      const int notStore = ::fstat(fd, &info) != 0 ? errno : RegularFileError(info);
      ::close(fd);
      if (notStore != 0) return notStore;
      if (int error = Connect(SQLITE_OPEN_READWRITE); error != 0) return error;
    }
    EFileState state = EFileState::kBlank;
    int error = ExamineFile(pDb, &state);
    if (error == 0 && state == EFileState::kBlank) error = MakeSchema();
    if (error != 0) {
      Close();
      return error;
    }
    bReady = true;
    return 0;
  }

  // Switches the file to WAL. The journal mode is kept in the file; it
  // cannot change inside a transaction, and a switch that could not be made
  // (another process holds the file) answers the old mode: *walOn false.
  int SwitchToWal(bool* walOn) {
    sqlite3_stmt* wal = nullptr;
    int rc = sqlite3_prepare_v2(pDb, "PRAGMA journal_mode=WAL", -1, &wal, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(wal);
    const auto* mode = rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(wal, 0)) : nullptr;
    *walOn = mode != nullptr && std::strcmp(mode, "wal") == 0;
    sqlite3_finalize(wal);
    return rc == SQLITE_ROW ? 0 : Fail(rc);
  }

  int MakeSchema() {
    // Processes that find the file blank at once all come here. One that
    // cannot switch the journal mode waits for the one that holds the file
    // (a write transaction waits up to the busy timeout) and looks again:
    // the schema that one made serves it too. Busy only when the file stays
    // held and blank for the whole timeout.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.nBusyTimeoutMs);
    for (;;) {
      bool walOn = false;
      int error = SwitchToWal(&walOn);
      if (error == 0 && walOn) break;
      if (error != 0 && error != EBUSY) return error;
      EFileState state = EFileState::kBlank;
      error = Exec("BEGIN IMMEDIATE");
      if (error == 0) {
        error = ExamineFile(pDb, &state);
        Exec(error == 0 ? "COMMIT" : "ROLLBACK");
      }
      if (error != 0 && error != EBUSY) return error;
      if (error == 0 && state == EFileState::kReady) return 0;
      if (std::chrono::steady_clock::now() >= deadline) return EBUSY;
      ::usleep(1000);
    }
    if (int error = Exec("BEGIN IMMEDIATE"); error != 0) return error;
    EFileState state = EFileState::kBlank;
    int error = ExamineFile(pDb, &state);
    if (error == 0 && state == EFileState::kBlank) {
      error = Exec(schema::kCreate);
      if (error == 0) error = Exec(schema::kInitialise);
      if (error == 0) {
        const std::string pragmas = "PRAGMA application_id=" + std::to_string(schema::kApplicationId) +
                                    ";PRAGMA user_version=" + std::to_string(schema::kSchemaVersion);
        error = Exec(pragmas.c_str());
      }
    }
    if (error == 0) error = Exec("COMMIT");
    if (error != 0) Exec("ROLLBACK");
    return error;
  }

  // --- writing ---------------------------------------------------------------

  int BeginWrite() {
    if (bInWrite) return EBUSY;
    if (int error = OpenForWrite(); error != 0) return error;
    if (int error = Exec("BEGIN IMMEDIATE"); error != 0) return error;
    int error = 0;
    sqlite3_stmt* statement = Statement(kGetNextOid, &error);
    if (statement != nullptr) {
      CStatementUse use(statement);
      const int rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) {
        nNextOid = nStoredNextOid = sqlite3_column_int64(statement, 0);
        if (nNextOid < 1) error = EILSEQ;
      } else {
        error = rc == SQLITE_DONE ? EILSEQ : Fail(rc);
      }
    }
    if (error == 0 && nIdFloor == 0) error = FindIdFloor();
    if (error == 0 && nNextOid < nIdFloor) nNextOid = nIdFloor;
    if (error != 0) {
      Exec("ROLLBACK");
      return error;
    }
    bInWrite = true;
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
  int FindIdFloor() {
    static constexpr const char* kHighestId =
        "SELECT max("
        " coalesce((SELECT max(oid) FROM database), 0),"
        " coalesce((SELECT max((SELECT key & 4294967295 FROM record"
        "   WHERE key BETWEEN (d.oid << 32) AND ((d.oid << 32) | 4294967295) ORDER BY key DESC LIMIT 1))"
        "   FROM database d), 0),"
        " coalesce((SELECT (key >> 32) & 4294967295 FROM record WHERE key >= 0 ORDER BY key DESC LIMIT 1), 0),"
        " coalesce((SELECT (key >> 32) & 4294967295 FROM record WHERE key < 0 ORDER BY key DESC LIMIT 1), 0))";
    std::int64_t highest = 0;
    if (int error = QueryInt(pDb, kHighestId, &highest); error != 0) return error;
    nIdFloor = highest + 1;
    return 0;
  }

  int FlushCounters() {
    if (pending.empty()) return 0;
    int error = 0;
    sqlite3_stmt* statement = Statement(kUpdateCounters, &error);
    if (statement == nullptr) return error;
    const std::int64_t now = std::int64_t(FileTimeNow());
    // Each change leaves `pending` once written, so a failed flush never
    // writes one twice.
    for (auto it = pending.begin(); it != pending.end(); it = pending.erase(it)) {
      CStatementUse use(statement);
      sqlite3_bind_int64(statement, 1, it->first);
      sqlite3_bind_int64(statement, 2, it->second.nRecords);
      sqlite3_bind_int64(statement, 3, it->second.nSize);
      sqlite3_bind_int64(statement, 4, now);
      if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) return Fail(rc);
    }
    return 0;
  }

  int Commit() {
    if (!bInWrite) return EINVAL;
    int error = InsertWaiting();
    if (error == 0) error = FlushCounters();
    if (error == 0 && nNextOid != nStoredNextOid) {
      sqlite3_stmt* statement = Statement(kSetNextOid, &error);
      if (statement != nullptr) {
        CStatementUse use(statement);
        sqlite3_bind_int64(statement, 1, nNextOid);
        if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) error = Fail(rc);
      }
    }
    if (error == 0) error = Exec("COMMIT");
    if (error != 0) {
      Rollback();
      return error;
    }
    EndWrite();
    return 0;
  }

  void Rollback() {
    if (!bInWrite) return;
    sqlite3_exec(pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    EndWrite();
  }

  void EndWrite() {
    bInWrite = false;
    pending.clear();
    known.clear();
    waiting.clear();
    waitingBytes.clear();
    nBrokenWrite = 0;
  }

  // Runs `operation` inside the current write, or inside a write of its own.
  template <class F>
  int Write(F operation) {
    if (bInWrite) return operation();
    if (int error = BeginWrite(); error != 0) return error;
    if (int error = operation(); error != 0) {
      Rollback();
      return error;
    }
    return Commit();
  }

  int AllocateOid(CEOID* oid) {
    if (nNextOid > std::int64_t(UINT32_MAX)) return ENOSPC;
    *oid = CEOID(nNextOid++);
    return 0;
  }

  int DatabaseExists(CEOID database) {
    int error = 0;
    sqlite3_stmt* statement = Statement(kDatabaseExists, &error);
    if (statement == nullptr) return error;
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, database);
    const int rc = sqlite3_step(statement);
    return rc == SQLITE_ROW ? 0 : rc == SQLITE_DONE ? ENOENT : Fail(rc);
  }

  // Writes the record whose stored form is in `stored`; `size` is its buffer's.
  int InsertRecord(CEOID database, std::size_t size, CEOID* record) {
    if (!known.count(database)) {
      if (int error = DatabaseExists(database); error != 0) return error;
      known.insert(database);
    }
    if (nBrokenWrite != 0) return nBrokenWrite;
    CEOID oid = 0;
    if (int error = AllocateOid(&oid); error != 0) return error;
    waiting.push_back({schema::RecordKey(database, oid), waitingBytes.size(), nStoredLength});
    waitingBytes.insert(waitingBytes.end(), stored.begin() + std::ptrdiff_t(nStoredBegin),
                        stored.begin() + std::ptrdiff_t(nStoredBegin + nStoredLength));
    if (waiting.size() == kInsertBatch || waitingBytes.size() >= kInsertBatchBytes) {
      if (int error = InsertWaiting(); error != 0) return error;
    }
    SDelta& delta = pending[database];
    delta.nRecords += 1;
    delta.nSize += std::int64_t(size);
    if (record != nullptr) *record = oid;
    return 0;
  }

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
    if (int error = OpenForRead(); error != 0 || !bReady) return error;
    if (bInWrite) {
      if (int error = FlushCounters(); error != 0) return error;
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
    return rc == SQLITE_DONE ? 0 : Fail(rc);
  }

  int IdPage(CEOID after, std::uint32_t type, std::size_t max, std::vector<CEOID>* out) {
    out->clear();
    if (int error = OpenForRead(); error != 0 || !bReady) return error;
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
    return rc == SQLITE_DONE ? 0 : Fail(rc);
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
  return std::uint64_t(FileTimeFromUnixNanoseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count()));
}

DWORD GetLastError() { return t_nLastError; }
void SetLastError(DWORD dwErrCode) { t_nLastError = dwErrCode; }

// --- CObjectStore ----------------------------------------------------------------

CObjectStore::CObjectStore(std::string path, SStoreOptions options) : m_pImpl(std::make_unique<SImpl>()) {
  m_pImpl->strPath = std::move(path);
  m_pImpl->options = options;
}

CObjectStore::~CObjectStore() = default;

const std::string& CObjectStore::Path() const { return m_pImpl->strPath; }
const SStoreOptions& CObjectStore::Options() const { return m_pImpl->options; }
bool CObjectStore::InWrite() const { return m_pImpl->bInWrite; }

int CObjectStore::Check() { return Report(m_pImpl->OpenForRead()); }

int CObjectStore::ListDatabases(std::vector<SDatabaseInfo>* databases) { return Report(m_pImpl->List(databases)); }

int CObjectStore::ListDatabaseIds(std::vector<CEOID>* databases, CEOID after, std::uint32_t type, std::size_t max) {
  return Report(m_pImpl->IdPage(after, type, max, databases));
}

int CObjectStore::FindDatabase(std::u16string_view name, CEOID* database) {
  SImpl& d = *m_pImpl;
  if (int error = CheckStoredName(name); error != 0) return Report(error);
  std::string name8;
  if (!Utf16ToUtf8(name, &name8)) return Report(EINVAL);
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return Report(error != 0 ? error : ENOENT);
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kFindByName, &error);
  if (statement == nullptr) return Report(error);
  CStatementUse use(statement);
  sqlite3_bind_text(statement, 1, name8.data(), int(name8.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return Report(ENOENT);
  if (rc != SQLITE_ROW) return Report(d.Fail(rc));
  const std::int64_t oid = sqlite3_column_int64(statement, 0);
  if (!FitsOid(oid)) return Report(EILSEQ);
  *database = CEOID(oid);
  return 0;
}

int CObjectStore::GetDatabaseInfo(CEOID database, SDatabaseInfo* info) {
  SImpl& d = *m_pImpl;
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return Report(error != 0 ? error : ENOENT);
  if (d.bInWrite) {
    if (int error = d.FlushCounters(); error != 0) return Report(error);
  }
  int error = 0;
  sqlite3_stmt* statement = d.Statement(kInfo, &error);
  if (statement == nullptr) return Report(error);
  CStatementUse use(statement);
  sqlite3_bind_int64(statement, 1, database);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return Report(ENOENT);
  if (rc != SQLITE_ROW) return Report(d.Fail(rc));
  return Report(SImpl::ReadInfo(statement, info));
}

int CObjectStore::FindRecordAt(CEOID database, std::uint64_t position, CEOID* record) {
  SImpl& d = *m_pImpl;
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return Report(error != 0 ? error : ENOENT);
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
  if (rc != SQLITE_ROW) return Report(d.Fail(rc));
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
  return Report(d.Write([&]() -> int {
    int error = 0;
    sqlite3_stmt* find = d.Statement(kFindByName, &error);
    if (find == nullptr) return error;
    {
      CStatementUse use(find);
      sqlite3_bind_text(find, 1, name8.data(), int(name8.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(find);
      if (rc == SQLITE_ROW) return EEXIST;
      if (rc != SQLITE_DONE) return d.Fail(rc);
    }
    CEOID oid = 0;
    if (int full = d.AllocateOid(&oid); full != 0) return full;
    sqlite3_stmt* insert = d.Statement(kInsertDatabase, &error);
    if (insert == nullptr) return error;
    CStatementUse use(insert);
    sqlite3_bind_int64(insert, 1, oid);
    sqlite3_bind_text(insert, 2, name8.data(), int(name8.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 3, request.nType);
    sqlite3_bind_int64(insert, 4, request.nFlags);
    sqlite3_bind_blob(insert, 5, sort, int(8 * request.sortOrders.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 6, std::int64_t(FileTimeNow()));
    if (const int rc = sqlite3_step(insert); rc != SQLITE_DONE) return d.Fail(rc);
    d.known.insert(oid);
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
  return Report(d.Write([&] { return d.InsertRecord(database, size, record); }));
}

int CObjectStore::WriteRecordBuffer(CEOID database, std::uint16_t propCount, const std::uint8_t* buffer,
                                    std::size_t size, CEOID* record) {
  SImpl& d = *m_pImpl;
  if (buffer == nullptr && size != 0) return Report(EINVAL);
  if (int error = ValidatePropertyBuffer(buffer, size, propCount); error != 0) return Report(error);
  packed::PackBuffer(buffer, size, propCount, &d.stored);
  d.nStoredBegin = 0;
  d.nStoredLength = d.stored.size();
  return Report(d.Write([&] { return d.InsertRecord(database, size, record); }));
}

int CObjectStore::DeleteRecord(CEOID database, CEOID record) {
  SImpl& d = *m_pImpl;
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return Report(error != 0 ? error : ENOENT);
  return Report(d.Write([&]() -> int {
    int error = 0;
    sqlite3_stmt* statement = d.Statement(kDeleteRecord, &error);
    if (statement == nullptr) return error;
    CStatementUse use(statement);
    sqlite3_bind_int64(statement, 1, schema::RecordKey(database, record));
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return ENOENT;
    if (rc != SQLITE_ROW) return d.Fail(rc);
    std::size_t count = 0, size = 0;
    if (!packed::ReadHeader(static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 0)),
                            std::size_t(sqlite3_column_bytes(statement, 0)), &count, &size)) {
      return EILSEQ;
    }
    if ((rc = sqlite3_step(statement)) != SQLITE_DONE) return d.Fail(rc);
    SImpl::SDelta& delta = d.pending[database];
    delta.nRecords -= 1;
    delta.nSize -= std::int64_t(size);
    return 0;
  }));
}

int CObjectStore::DeleteDatabase(CEOID database) {
  SImpl& d = *m_pImpl;
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return Report(error != 0 ? error : ENOENT);
  return Report(d.Write([&]() -> int {
    if (int error = d.DatabaseExists(database); error != 0) return error;
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
      if (const int rc = sqlite3_step(statement); rc != SQLITE_DONE) return d.Fail(rc);
    }
    d.pending.erase(database);
    d.known.erase(database);
    return 0;
  }));
}

int CObjectStore::BeginWrite() { return Report(m_pImpl->BeginWrite()); }
int CObjectStore::Commit() { return Report(m_pImpl->Commit()); }
void CObjectStore::Rollback() { m_pImpl->Rollback(); }

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
  if (int error = d.OpenForRead(); error != 0 || !d.bReady) return finish(error != 0 ? error : ENOENT);
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
      const std::int64_t key = sqlite3_column_int64(statement, 0);
      const CEOID oid = schema::RecordOfKey(key);
      const auto* stored = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, 1));
      const std::size_t storedSize = std::size_t(sqlite3_column_bytes(statement, 1));
      // The query's range already ensures the first two; checked again so
      // that no file can make the walk go backwards.
      if (schema::DatabaseOfKey(key) != m_nDatabase || oid <= m_nLastOid ||
          sqlite3_column_type(statement, 1) != SQLITE_BLOB) {
        return finish(EILSEQ);
      }
      if (m_nBatchCount == m_batch.size()) m_batch.emplace_back();
      SRecord& record = m_batch[m_nBatchCount];
      // Rebuilt, then checked as any buffer from outside would be: the
      // rebuild is bounded by `size`, and the check that no offset leads
      // outside does not trust the rebuild.
      std::size_t count = 0;
      if (!packed::Unpack(stored, storedSize, &count, &record.buffer, &m_strScratch) ||
          ValidatePropertyBuffer(record.buffer.data(), record.buffer.size(), count) != 0) {
        return finish(EILSEQ);
      }
      ++m_nBatchCount;
      record.oid = oid;
      record.nPropCount = std::uint16_t(count);
      m_nLastOid = oid;
      bytes += record.buffer.size();
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return finish(d.Fail(rc));
  }
  if (m_nBatchCount == 0) {
    // The end: tell an emptied database from one that is gone.
    const int gone = d.DatabaseExists(m_nDatabase);
    return finish(gone);
  }
  return true;
}

}  // namespace zef::store
