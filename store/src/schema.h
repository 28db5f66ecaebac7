// The object store's file: one SQLite database in WAL mode.
//
//   PRAGMA application_id  kApplicationId: a file without it is not a store
//   PRAGMA user_version    kSchemaVersion
//   meta(key, value)       'next_oid': the next object identifier to hand
//                          out, shared by databases and records and never
//                          lowered, so an identifier is never reused
//   database               one row per database; `records` and `size` are
//                          kept up to date by every write, so that listing
//                          costs one row per database however large they are
//   record                 one row per record, keyed (db, oid) so a
//                          database's records lie together in read order;
//                          `buffer` is the property buffer exactly as a read
//                          hands it back, `props` its property count
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
    " db INTEGER NOT NULL,"
    " oid INTEGER NOT NULL,"
    " props INTEGER NOT NULL,"
    " buffer BLOB NOT NULL,"
    " PRIMARY KEY(db, oid)) WITHOUT ROWID;";

inline constexpr const char* kInitialise = "INSERT INTO meta(key, value) VALUES('next_oid', 1);";

}  // namespace zef::store::schema
