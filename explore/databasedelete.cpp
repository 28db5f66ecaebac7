#include "explore/databasedelete.h"

#include "explore/databaselist.h"
#include "platform/dialog/msgbox.h"

#include <zefstore/ceapi.h>
#include <zefstore/recordline.h>
#include <zeftrace/trace.h>

#include <string>

namespace zef {

using namespace zef::store;

namespace {

// The longest record line the second confirmation shows whole.
constexpr std::size_t kMaxConfirmedLine = 179;

// True unless the user answered No.
bool Confirm(QWidget* parent, StringId id, std::u16string_view text) {
  const QString arg = QString::fromUtf16(text.data(), qsizetype(text.size()));
  return MessageBoxFromTable(parent, ToUInt(id), MB_YESNO | MB_ICONQUESTION, arg) != IDNO;
}

}  // namespace

void ZEFMON_DeleteDatabase(CObjectStore& store, std::u16string_view name, std::optional<StringId> secondConfirmation,
                           QWidget* parent) {
  CTraceScope scope("ZEFMON_DeleteDatabase()");
  const HANDLE enumeration = CeFindFirstDatabase(store, 0);
  if (enumeration == INVALID_HANDLE_VALUE) {
    PrintStoreError(scope, "open object store");
    return;
  }
  CEOIDINFO info;
  CEOID found = 0;
  while (const CEOID oid = CeFindNextDatabase(enumeration)) {
    if (CeOidGetInfo(store, oid, &info) && info.wObjType == OBJTYPE_DATABASE &&
        std::u16string_view(info.infDatabase.szDbaseName) == name) {
      found = oid;
      break;
    }
  }
  if (found == 0) {
    if (store::GetLastError() != 0) PrintStoreError(scope, "read object store");
  } else if (!secondConfirmation || Confirm(parent, *secondConfirmation, info.infDatabase.szDbaseName)) {
    if (CeDeleteDatabase(store, found)) scope.Print("database deleted");
    else PrintStoreError(scope, "error in deleting record");
  }
  CloseHandle(enumeration);
}

void ZEFMON_DeleteDatabaseRecord(CObjectStore& store, std::u16string_view name, int position,
                                 std::optional<StringId> secondConfirmation, QWidget* parent) {
  CTraceScope scope("ZEFMON_DeleteDatabaseRecord()");
  if (position < 0 || name.empty()) return;
  // A position beyond the last record ends the walk with nothing written.
  CRecordWalk walk(store, name, scope);
  for (int at = 0; walk.Next(); ++at) {
    if (at != position) continue;
    if (secondConfirmation) {
      std::u16string line = FormatRecordLine(walk.Buffer(), walk.Count(), walk.Size(), position, 0);
      if (line.size() > kMaxConfirmedLine) line.replace(kMaxConfirmedLine, std::u16string::npos, u"...");
      if (!Confirm(parent, *secondConfirmation, line)) return;
    }
    if (CeDeleteRecord(walk.Handle(), walk.Record())) scope.Print("record deleted");
    else PrintStoreError(scope, "error in deleting record");
    return;
  }
}

}  // namespace zef
