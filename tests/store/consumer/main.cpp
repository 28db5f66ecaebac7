// Writes one record into the store given as the first argument, creating
// the database "Consumer" when it is missing, then reads it back through
// the handheld-named walk and prints its line.
#include <zefstore/objectstore.h>
#include <zefstore/recordline.h>
#include <zefstore/store.h>
#include <zefstore/text.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  using namespace zef::store;
  if (argc != 3) return 2;
  CObjectStore store(argv[1]);
  CEOID db = 0;
  int error = store.FindDatabase(u"Consumer", &db);
  if (error == ENOENT) error = store.CreateDatabase(SNewDatabase(u"Consumer", 42), &db);
  if (error == 0) error = store.WriteRecord(db, {SPropValue::String(u"from C++"), SPropValue::UI4(7)});
  if (error != 0) {
    std::fprintf(stderr, "consumer: %s\n", std::strerror(error));
    return 1;
  }
  CEOID oid = 0;
  const HANDLE handle = CeOpenDatabase(store, &oid, u"Consumer", 0, CEDB_AUTOINCREMENT);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  WORD count = 0;
  BYTE* buffer = nullptr;
  DWORD size = 0;
  for (int position = 0; CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size) != 0; ++position) {
    std::printf("%s\n", Utf16ToUtf8Lossy(FormatRecordLine(buffer, count, size, position, 0)).c_str());
    LocalFree(buffer);
    buffer = nullptr;
  }
  CloseHandle(handle);
  return GetLastError() == 0 ? 0 : 1;
}
