// Helpers for tests and benchmarks of the object store that need SQLite
// itself. Not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zef::store::testing {

// Runs `sql` on the file at `path` with no checks of ours; "" on success,
// else SQLite's message. Tests use it to damage a store on purpose.
std::string ExecuteSql(const std::string& path, const std::string& sql);

// The import benchmark's baseline: `rows` rows of an int, a uint, a bool, a
// string and a time, made by `MakeRow`, inserted into a new file at `path`
// with one prepared statement in one transaction, journal and sync settings
// as the store's. Seconds taken, or a negative number on a failure.
struct SPlainRow {
  std::int32_t nInt = 0;
  std::uint32_t nUint = 0;
  bool bFlag = false;
  std::string strText;
  std::int64_t nTime = 0;
};
double PlainInsert(const std::string& path, std::size_t rows, void (*MakeRow)(std::size_t index, SPlainRow* row));

}  // namespace zef::store::testing
