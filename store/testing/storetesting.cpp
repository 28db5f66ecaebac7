#include <zefstore/storetesting.h>

#include <sqlite3.h>

#include <chrono>

namespace zef::store::testing {

std::string ExecuteSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string message;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    message = sqlite3_errmsg(db);
  } else {
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      message = error != nullptr ? error : "failed";
    }
    sqlite3_free(error);
  }
  sqlite3_close(db);
  return message;
}

double PlainInsert(const std::string& path, std::size_t rows, void (*MakeRow)(std::size_t index, SPlainRow* row)) {
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  double seconds = -1;
  const auto start = std::chrono::steady_clock::now();
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
      sqlite3_exec(db,
                   "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                   "CREATE TABLE plain(i INTEGER, u INTEGER, b INTEGER, s TEXT, t INTEGER);"
                   "BEGIN IMMEDIATE",
                   nullptr, nullptr, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "INSERT INTO plain VALUES(?1, ?2, ?3, ?4, ?5)", -1, &insert, nullptr) == SQLITE_OK) {
    SPlainRow row;
    bool ok = true;
    for (std::size_t i = 0; i < rows && ok; ++i) {
      MakeRow(i, &row);
      sqlite3_bind_int(insert, 1, row.nInt);
      sqlite3_bind_int64(insert, 2, row.nUint);
      sqlite3_bind_int(insert, 3, row.bFlag ? 1 : 0);
      sqlite3_bind_text(insert, 4, row.strText.data(), int(row.strText.size()), SQLITE_STATIC);
      sqlite3_bind_int64(insert, 5, row.nTime);
      ok = sqlite3_step(insert) == SQLITE_DONE;
      sqlite3_reset(insert);
    }
    if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return seconds;
}

}  // namespace zef::store::testing
