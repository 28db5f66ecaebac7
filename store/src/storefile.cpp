#include "storefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "schema.h"

namespace zef::store {

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

namespace {

// Creates the missing directories leading to `path`, each mode 0700.
int MakeParentDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

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

// The rows of sqlite_schema that a sound store has, "type name tbl_name sql"
// each, sorted; made once per process from an in-memory database.
const std::string& ExpectedSchema();

std::string ReadSchema(sqlite3* db, int* error) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY name", -1, &statement,
                              nullptr);
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

}  // namespace

void CStoreFile::Close() {
  for (sqlite3_stmt*& statement : m_statements) {
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  sqlite3_close(m_pDb);
  m_pDb = nullptr;
  m_bReady = false;
}

int CStoreFile::Exec(const char* sql) {
  const int rc = sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : Fail(rc);
}

int CStoreFile::QueryInt(const char* sql, std::int64_t* value) { return zef::store::QueryInt(m_pDb, sql, value); }

sqlite3_stmt* CStoreFile::Prepared(EStatement which, int* error) {
  if (m_statements[which] == nullptr) {
    const std::string batch = which == kInsertRecords ? InsertRecordsSql() : std::string();
    const int rc = sqlite3_prepare_v3(m_pDb, which == kInsertRecords ? batch.c_str() : kStatementSql[which], -1,
                                      SQLITE_PREPARE_PERSISTENT, &m_statements[which], nullptr);
    if (rc != SQLITE_OK) {
      *error = Fail(rc);
      return nullptr;
    }
  }
  return m_statements[which];
}

int CStoreFile::Connect(int flags) {
  if (m_strPath.empty()) return EINVAL;
  const int rc = sqlite3_open_v2(m_strPath.c_str(), &m_pDb, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const int error = Fail(rc);
    Close();
    return error;
  }
  sqlite3_extended_result_codes(m_pDb, 1);
  sqlite3_busy_timeout(m_pDb, m_options.nBusyTimeoutMs);
  // A record never needs more; a damaged or hostile file cannot make a
  // read allocate more.
  sqlite3_limit(m_pDb, SQLITE_LIMIT_LENGTH, int(kMaxRecordSize) + 1024);
  sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(m_pDb, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  // In WAL mode NORMAL loses no commit when a program crashes, only at a
  // power loss, and spares a sync per transaction.
  return Exec("PRAGMA synchronous=NORMAL");
}

int CStoreFile::OpenForRead() {
  if (m_bReady) return 0;
  if (m_pDb == nullptr) {
    struct stat info {};
    if (m_strPath.empty()) return EINVAL;
    if (::stat(m_strPath.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
    if (int error = RegularFileError(info); error != 0) return error;
    if (int error = Connect(SQLITE_OPEN_READWRITE); error != 0) return error;
  }
  EFileState state = EFileState::kBlank;
  if (int error = ExamineFile(m_pDb, &state); error != 0) {
    Close();
    return error;
  }
  m_bReady = state == EFileState::kReady;
  return 0;
}

int CStoreFile::OpenForWrite() {
  if (m_bReady) return 0;
  if (m_pDb == nullptr) {
    if (m_strPath.empty()) return EINVAL;
    if (int error = MakeParentDirectories(m_strPath); error != 0) return error;
    // Non-blocking, so that a FIFO in the store's place cannot hold the open.
    const int fd = ::open(m_strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return errno;
    struct stat info {};
    const int notStore = ::fstat(fd, &info) != 0 ? errno : RegularFileError(info);
    ::close(fd);
    if (notStore != 0) return notStore;
    if (int error = Connect(SQLITE_OPEN_READWRITE); error != 0) return error;
  }
  EFileState state = EFileState::kBlank;
  int error = ExamineFile(m_pDb, &state);
  if (error == 0 && state == EFileState::kBlank) error = MakeSchema();
  if (error != 0) {
    Close();
    return error;
  }
  m_bReady = true;
  return 0;
}

// Switches the file to WAL. The journal mode is kept in the file; it
// cannot change inside a transaction, and a switch that could not be made
// (another process holds the file) answers the old mode: *walOn false.
int CStoreFile::SwitchToWal(bool* walOn) {
  sqlite3_stmt* wal = nullptr;
  int rc = sqlite3_prepare_v2(m_pDb, "PRAGMA journal_mode=WAL", -1, &wal, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(wal);
  const auto* mode = rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(wal, 0)) : nullptr;
  *walOn = mode != nullptr && std::strcmp(mode, "wal") == 0;
  sqlite3_finalize(wal);
  return rc == SQLITE_ROW ? 0 : Fail(rc);
}

int CStoreFile::MakeSchema() {
  // Processes that find the file blank at once all come here. One that
  // cannot switch the journal mode waits for the one that holds the file
  // (a write transaction waits up to the busy timeout) and looks again:
  // the schema that one made serves it too. Busy only when the file stays
  // held and blank for the whole timeout.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.nBusyTimeoutMs);
  for (;;) {
    bool walOn = false;
    int error = SwitchToWal(&walOn);
    if (error == 0 && walOn) break;
    if (error != 0 && error != EBUSY) return error;
    EFileState state = EFileState::kBlank;
    error = Exec("BEGIN IMMEDIATE");
    if (error == 0) {
      error = ExamineFile(m_pDb, &state);
      Exec(error == 0 ? "COMMIT" : "ROLLBACK");
    }
    if (error != 0 && error != EBUSY) return error;
    if (error == 0 && state == EFileState::kReady) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return EBUSY;
    ::usleep(1000);
  }
  if (int error = Exec("BEGIN IMMEDIATE"); error != 0) return error;
  EFileState state = EFileState::kBlank;
  int error = ExamineFile(m_pDb, &state);
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

}  // namespace zef::store
