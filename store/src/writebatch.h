// The write in progress on a store file: its transaction, the identifiers
// it hands out, the counter changes it has not written yet, and the records
// that wait to be inserted kInsertBatch at a time. Every statement, a read
// too, is taken through Statement(), which first inserts the waiting
// records, so that no query ever misses one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "storefile.h"

namespace zef::store {

class CWriteBatch {
 public:
  explicit CWriteBatch(CStoreFile& file) : m_file(file) {}
  ~CWriteBatch() { Rollback(); }
  CWriteBatch(const CWriteBatch&) = delete;
  CWriteBatch& operator=(const CWriteBatch&) = delete;

  bool InWrite() const { return m_bInWrite; }
  int Begin();
  int Commit();
  void Rollback();

  // Runs `operation` inside the current write, or inside a write of its own.
  template <class F>
  int Write(F operation) {
    if (m_bInWrite) return operation();
    if (int error = Begin(); error != 0) return error;
    if (int error = operation(); error != 0) {
      Rollback();
      return error;
    }
    return Commit();
  }

  // A statement ready to run, after the waiting records are inserted.
  sqlite3_stmt* Statement(EStatement which, int* error);
  // Writes the counter changes of this write, so that a read sees them.
  int FlushCounters();

  int AllocateOid(CEOID* oid);
  int DatabaseExists(CEOID database);
  // Queues the record whose stored form is `length` bytes at `stored`;
  // `size` is its buffer's.
  int InsertRecord(CEOID database, const std::uint8_t* stored, std::size_t length, std::size_t size, CEOID* record);
  // What the write did to databases besides inserting records.
  void Created(CEOID database) { m_known.insert(database); }
  void RecordDeleted(CEOID database, std::size_t size);
  void DatabaseDeleted(CEOID database);

 private:
  struct SDelta {
    std::int64_t nRecords = 0;
    std::int64_t nSize = 0;
  };
  struct SWaiting {
    std::int64_t nKey;
    std::size_t nOffset;
    std::size_t nLength;
  };

  int FindIdFloor();
  int InsertWaiting();
  void End();

  CStoreFile& m_file;
  bool m_bInWrite = false;
  std::int64_t m_nNextOid = 0;
  std::int64_t m_nStoredNextOid = 0;
  std::int64_t m_nIdFloor = 0;                  // above every identifier in use; 0 until looked at (FindIdFloor)
  std::unordered_map<CEOID, SDelta> m_pending;  // counter changes not yet written
  std::unordered_set<CEOID> m_known;            // databases seen to exist in this write
  std::vector<SWaiting> m_waiting;
  std::vector<std::uint8_t> m_waitingBytes;
  // A failed insert of waiting records breaks the write for good: it can
  // only be rolled back, never committed without them.
  int m_nBrokenWrite = 0;
};

}  // namespace zef::store
