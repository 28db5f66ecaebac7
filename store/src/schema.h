// The object store's file: one SQLite database in WAL mode.
//
//   PRAGMA application_id  kApplicationId: a file without it is not a store
//   PRAGMA user_version    kSchemaVersion
//   meta(key, value)       'next_oid': the next object identifier to hand
//                          out, shared by databases and records and never
//                          lowered, so an identifier is never reused (a
//                          writer raises it above the highest identifier
//                          in use when it finds it lower)
//   database               one row per database; `records` and `size` are
//                          kept up to date by every write, so that listing
//                          costs one row per database however large they are
//   record                 one row per record: `data` holds its property
//                          count, buffer size and buffer in the stored form
//                          of packed.h. The row id is RecordKey(db, oid): a
//                          database's records lie together in read order,
//                          and an insert is an integer-keyed append of two
//                          columns to one b-tree (a (db, oid) key, a second
//                          index or separate columns for the count and size
//                          each cost the import a good part of its speed)
//
// A file is accepted only when its schema is exactly this one (compared with
// the same statements run on an in-memory database), so a hostile file
// cannot slip in triggers, views or other tables behind these names.
#pragma once

#include <cstdint>

namespace zef::store::schema {

inline constexpr std::int32_t kApplicationId = 0x7A656673;  // "zefs"
inline constexpr int kSchemaVersion = 1;

inline constexpr const char* kCreate =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "CREATE TABLE database("
    " oid INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE,"
    " type INTEGER NOT NULL,"
    " flags INTEGER NOT NULL,"
    " sortorders BLOB NOT NULL,"
    " records INTEGER NOT NULL,"
    " size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL);"
    "CREATE TABLE record("
    " key INTEGER PRIMARY KEY,"
    " data BLOB NOT NULL);";

// The database's identifier in the high half, the record's in the low half.
// Databases from 2^31 on give negative keys, but all keys of one database
// share the sign bit, so their order within it is still the record order.
inline std::int64_t RecordKey(std::uint32_t database, std::uint32_t record) {
  return static_cast<std::int64_t>((std::uint64_t(database) << 32) | record);
}
inline std::uint32_t RecordOfKey(std::int64_t key) { return std::uint32_t(std::uint64_t(key)); }
inline std::uint32_t DatabaseOfKey(std::int64_t key) { return std::uint32_t(std::uint64_t(key) >> 32); }

inline constexpr const char* kInitialise = "INSERT INTO meta(key, value) VALUES('next_oid', 1);";

}  // namespace zef::store::schema
