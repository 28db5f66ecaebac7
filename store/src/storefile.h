// The SQLite file under a CObjectStore: its connection, opening (and making
// the schema when a write finds the file blank), and the prepared statements
// the store runs. The only header besides the testing library that includes
// sqlite3.h.
#pragma once

#include <zefstore/store.h>

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zef::store {

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
inline constexpr std::size_t kInsertBatch = 64;

// The errno that stands for a SQLite result.
int ErrnoOf(sqlite3* db, int rc);

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

class CStoreFile {
 public:
  CStoreFile(std::string path, SStoreOptions options) : m_strPath(std::move(path)), m_options(options) {}
  ~CStoreFile() { Close(); }
  CStoreFile(const CStoreFile&) = delete;
  CStoreFile& operator=(const CStoreFile&) = delete;

  const std::string& Path() const { return m_strPath; }
  const SStoreOptions& Options() const { return m_options; }
  // The file holds a verified store.
  bool Ready() const { return m_bReady; }

  // For reading: 0 with Ready(), or 0 without it for a store that does not
  // exist yet (nothing is created), or the error of a file that is not a
  // readable store.
  int OpenForRead();
  // For writing: creates the file with its directories and schema when
  // missing. Several processes may do this at once: the schema is made in
  // one write transaction by whichever comes first.
  int OpenForWrite();
  void Close();

  // The errno of a SQLite result on this connection.
  int Fail(int rc) { return ErrnoOf(m_pDb, rc); }
  int Exec(const char* sql);
  // Runs `sql`, which yields one integer; EILSEQ when it yields none.
  int QueryInt(const char* sql, std::int64_t* value);
  // The statement, prepared once per connection.
  sqlite3_stmt* Prepared(EStatement which, int* error);

 private:
  int Connect(int flags);
  int SwitchToWal(bool* walOn);
  int MakeSchema();

  std::string m_strPath;
  SStoreOptions m_options;
  sqlite3* m_pDb = nullptr;
  bool m_bReady = false;
  sqlite3_stmt* m_statements[kStatementCount] = {};
};

}  // namespace zef::store
