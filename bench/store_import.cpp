// The object store's three costs, each in the same run as what it is
// measured against:
//  - `zefdb import` of N records (default 1,000,000) of five properties (an
//    int, a uint, a bool, a 20-character string, a time), the whole process
//    with its parsing, beside a plain SQLite insert of the same values into a
//    five-column table with one prepared statement in one transaction;
//  - CeReadRecordProps alone over a 100,000-record database (and, apart,
//    the record formatting of the same records);
//  - enumeration of 1,000 databases as the monitor's List all makes it:
//    CeFindFirstDatabase, CeFindNextDatabase, CeOidGetInfo and the line.
// Alternating rounds and medians, since the machine's load drifts.
// Usage: zef_bench_store [--records N] [--rounds R]
#include <zefstore/ceapi.h>
#include <zefstore/recordline.h>
#include <zefstore/store.h>
#include <zefstore/storetesting.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace zef::store;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The values of record `index`, shared by both sides of the import.
void MakeRow(std::size_t index, testing::SPlainRow* row) {
  row->nInt = std::int32_t(index * 7919) - 1'000'000;
  row->nUint = std::uint32_t(index * 2654435761u);
  row->bFlag = index % 3 == 0;
  row->strText.resize(20);
  std::size_t v = index;
  for (char& c : row->strText) {
    c = char('a' + v % 26);
    v = v / 26 + 7;
  }
  row->nTime = 1'700'000'000 + std::int64_t(index);
}

double CpuSeconds(const rusage& usage) {
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return CpuSeconds(usage);
}

// Runs a program to its end; its exit status, and in `cpuSeconds` the
// processor time it took (user and system).
int Run(const std::vector<std::string>& args, const std::string& input, double* cpuSeconds = nullptr) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (!input.empty()) {
      const int fd = ::open(input.c_str(), O_RDONLY);
      if (fd < 0 || ::dup2(fd, 0) < 0) ::_exit(127);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  if (cpuSeconds != nullptr) *cpuSeconds = CpuSeconds(usage);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool WriteImportFile(const std::string& path, std::size_t records) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  testing::SPlainRow row;
  for (std::size_t i = 0; i < records; ++i) {
    MakeRow(i, &row);
    std::fprintf(file, "i4:%d u4:%u bool:%d str:%s time:%lld\n", row.nInt, row.nUint, row.bFlag ? 1 : 0,
                 row.strText.c_str(), static_cast<long long>(row.nTime));
  }
  return std::fclose(file) == 0;
}

void RemoveStore(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t records = 1'000'000;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--records") == 0) records = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  char dirTemplate[] = "/tmp/zef_bench_store.XXXXXX";
  const char* dir = ::mkdtemp(dirTemplate);
  if (dir == nullptr) return 1;
  const std::string base = dir;
  const std::string input = base + "/import.txt";
  if (!WriteImportFile(input, records)) return 1;

  // --- import -----------------------------------------------------------------
  // Wall time decides; processor time is shown beside it because on a
  // shared machine the wall time also holds the waits for other programs.
  std::vector<double> importRates, plainRates, importCpuRates, plainCpuRates;
  for (int round = 0; round < rounds; ++round) {
    const std::string store = base + "/store.db", plain = base + "/plain.db";
    RemoveStore(store);
    RemoveStore(plain);
    if (Run({ZEF_ZEFDB, "--store", store, "create", "bench"}, "") != 0) return 1;
    const auto start = Clock::now();
    double importCpu = 0;
    if (Run({ZEF_ZEFDB, "--store", store, "import", "bench"}, input, &importCpu) != 0) return 1;
    importRates.push_back(double(records) / Seconds(start));
    importCpuRates.push_back(double(records) / importCpu);
    const double cpuBefore = ThreadCpuSeconds();
    const double plainSeconds = testing::PlainInsert(plain, records, MakeRow);
    if (plainSeconds < 0) return 1;
    plainRates.push_back(double(records) / plainSeconds);
    plainCpuRates.push_back(double(records) / (ThreadCpuSeconds() - cpuBefore));
  }
  const double importRate = Median(importRates), plainRate = Median(plainRates);
  const double importCpuRate = Median(importCpuRates), plainCpuRate = Median(plainCpuRates);
  std::printf("import of %zu records (5 properties), median of %d rounds:\n", records, rounds);
  std::printf("                    records/s (wall)   records/s (cpu)\n");
  std::printf("  zefdb import      %10.0f         %10.0f\n", importRate, importCpuRate);
  std::printf("  plain SQLite      %10.0f         %10.0f\n", plainRate, plainCpuRate);
  std::printf("  ratio             %10.2f         %10.2f   (target >= 0.70)\n", importRate / plainRate,
              importCpuRate / plainCpuRate);

  // --- reading 100,000 records ------------------------------------------------
  const std::string readPath = base + "/read.db";
  CObjectStore store(readPath);
  CEOID database = 0;
  {
    if (store.CreateDatabase({u"read", 0}, &database) != 0) return 1;
    CWriteTransaction transaction(store);
    testing::SPlainRow row;
    std::vector<SPropValue> values(5);
    std::u16string text;
    for (std::size_t i = 0; i < 100'000; ++i) {
      MakeRow(i, &row);
      values[0] = SPropValue::I4(row.nInt);
      values[1] = SPropValue::UI4(row.nUint);
      values[2] = SPropValue::Bool(row.bFlag);
      values[3] = SPropValue::String(std::u16string(row.strText.begin(), row.strText.end()));
      values[4] = SPropValue::FileTime(std::uint64_t(row.nTime + kFileTimeEpochOffsetSeconds) * 10'000'000u);
      if (store.WriteRecord(database, values) != 0) return 1;
    }
    if (transaction.Commit() != 0) return 1;
  }
  std::vector<double> readRates, formatRates;
  for (int round = 0; round < std::max(rounds, 5); ++round) {
    std::vector<std::vector<std::uint8_t>> kept;
    auto start = Clock::now();
    CEOID oid = 0;
    const HANDLE handle = CeOpenDatabase(store, &oid, u"read", 0, CEDB_AUTOINCREMENT);
    WORD count = 0;
    BYTE* buffer = nullptr;
    DWORD size = 0;
    std::size_t read = 0;
    while (CeReadRecordProps(handle, CEDB_ALLOWREALLOC, &count, &buffer, &size) != 0) {
      ++read;
      LocalFree(buffer);
      buffer = nullptr;
    }
    CloseHandle(handle);
    if (read != 100'000 || GetLastError() != 0) return 1;
    readRates.push_back(double(read) / Seconds(start));
    // The formatting of the same records, on buffers read beforehand.
    SRecord record;
    CRecordCursor cursor(store, database);
    std::vector<SRecord> all;
    while (cursor.Next(&record)) all.push_back(record);
    start = Clock::now();
    std::size_t characters = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      characters +=
          FormatRecordLine(all[i].buffer.data(), all[i].nPropCount, std::uint32_t(all[i].buffer.size()), int(i), 179)
              .size();
    }
    formatRates.push_back(double(all.size()) / Seconds(start));
    if (characters == 0) return 1;
  }
  std::printf("read of 100,000 records:\n");
  std::printf("  CeReadRecordProps %10.0f records/s\n", Median(readRates));
  std::printf("  FormatRecordLine  %10.0f records/s\n", Median(formatRates));

  // --- enumerating 1,000 databases ---------------------------------------------
  const std::string enumPath = base + "/enum.db";
  CObjectStore enumStore(enumPath);
  {
    CWriteTransaction transaction(enumStore);
    for (int i = 0; i < 1000; ++i) {
      const std::string name = "database " + std::to_string(i);
      CEOID oid = 0;
      if (enumStore.CreateDatabase({std::u16string(name.begin(), name.end()), std::uint32_t(i)}, &oid) != 0) return 1;
      if (enumStore.WriteRecord(oid, {SPropValue::UI4(std::uint32_t(i))}) != 0) return 1;
    }
    if (transaction.Commit() != 0) return 1;
  }
  std::vector<double> enumMs;
  for (int round = 0; round < 7; ++round) {
    // A new connection each round, as each List all command makes.
    CObjectStore fresh(enumPath);
    const auto start = Clock::now();
    const HANDLE handle = CeFindFirstDatabase(fresh, 0);
    std::size_t found = 0;
    CEOIDINFO info;
    while (const CEOID oid = CeFindNextDatabase(handle)) {
      if (CeOidGetInfo(fresh, oid, &info) && info.wObjType == OBJTYPE_DATABASE) {
        found += FormatDatabaseLine(info.infDatabase.szDbaseName, info.infDatabase.dwDbaseType,
                                    info.infDatabase.nNumRecords, info.infDatabase.nSize)
                         .empty()
                     ? 0
                     : 1;
      }
    }
    CloseHandle(handle);
    if (found != 1000) return 1;
    enumMs.push_back(Seconds(start) * 1000);
  }
  std::printf("enumeration of 1,000 databases, with info and line: %.1f ms (target < 50 ms)\n", Median(enumMs));

  std::filesystem::remove_all(base);
  return 0;
}
