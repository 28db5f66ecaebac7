// A program under test that shares the store: creates the database unless
// another writer was first, then writes COUNT records (TAG, i), each in a
// transaction of its own so that the writers interleave as much as they can.
// Usage: zef_store_testwriter PATH NAME TAG COUNT
#include <zefstore/store.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  using namespace zef::store;
  // Generous: on a loaded machine four writers may queue for a while.
  CObjectStore store(argv[1], SStoreOptions{60000});
  const std::string name8 = argv[2];
  const std::u16string name(name8.begin(), name8.end());
  const auto tag = std::uint32_t(std::strtoul(argv[3], nullptr, 10));
  const auto count = std::uint32_t(std::strtoul(argv[4], nullptr, 10));
  CEOID db = 0;
  int error = store.CreateDatabase({name, 0}, &db);
  if (error == EEXIST) error = store.FindDatabase(name, &db);
  for (std::uint32_t i = 0; i < count && error == 0; ++i) {
    error = store.WriteRecord(db, {SPropValue::UI4(tag), SPropValue::UI4(i)});
  }
  if (error != 0) std::fprintf(stderr, "testwriter %u: %s\n", tag, std::strerror(error));
  return error == 0 ? 0 : 1;
}
