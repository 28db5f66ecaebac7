// The database tools' deletions. Each writes through the trace channel,
// between the enter and leave lines of a scope named after it, and asks its
// second confirmation (when given) only once it has found the object in the
// store, with what the store holds. No lock is held on the store while that
// box is open: other programs go on writing, and an object removed meanwhile
// is reported as not deleted ("error in deleting record" and its last
// error), never replaced by another one.
#pragma once

#include "res/resource.h"

#include <zefstore/store.h>

#include <optional>
#include <string_view>

class QWidget;

namespace zef {

// Deletes the database called `name` (compared exactly) with all its
// records: "database deleted", or "error in deleting record" and the last
// error. No line when there is no such database; "open object store" (or
// "read object store") and the last error when the store cannot be read.
// `secondConfirmation` is asked with the name as stored; No keeps the
// database. `parent` is the parent of that box.
void ZEFMON_DeleteDatabase(store::CObjectStore& store, std::u16string_view name,
                           std::optional<StringId> secondConfirmation, QWidget* parent);

// Deletes the record at the 0-based `position` of the database's read order
// (that of ZEFMON_ReadDatabaseRecords): "record deleted", or "error in
// deleting record" and the last error. No line for a negative position, an
// empty name or a position beyond the last record; "open database" and the
// last error when the database cannot be opened, "read record" and the last
// error when the walk fails before the position. `secondConfirmation` is
// asked with the record's line (cut to 179 characters and "..."); No keeps
// the record.
void ZEFMON_DeleteDatabaseRecord(store::CObjectStore& store, std::u16string_view name, int position,
                                 std::optional<StringId> secondConfirmation, QWidget* parent);

}  // namespace zef
