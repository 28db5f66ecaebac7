// The Database commands into a shown monitor, on a store of 1,100
// databases, one of them of 100,000 records of five properties (an int, a
// uint, a bool, a 20-character string, a time), logging off:
//
//   QT_QPA_PLATFORM=offscreen bench_database_list [records] [rounds]   (100000, 7)
//
// Figures, medians of the rounds, as elapsed time and as the thread's CPU
// time (the machine is shared, and the CPU time is what the work costs):
//  - List records through the main window: header, traced scope, one
//    monitor line per record, scroll, and the paint that follows;
//  - its three parts, each measured alone in the same round: the store read
//    (open, CeReadRecordProps over every record, close), the formatting
//    (FormatRecordLine of the same records, held in memory), and the list
//    (the same lines handed through the trace channel into the monitor);
//  - List all over the 1,100 databases through the main window.
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"

#include <zefstore/ceapi.h>
#include <zefstore/recordline.h>
#include <zefstore/store.h>

#include <QApplication>
#include <QElapsedTimer>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zef;
using namespace zef::store;

namespace {

constexpr int kDatabases = 1100;

double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Elapsed and CPU milliseconds of one run of `work`.
struct STimes {
  double ms = 0;
  double cpuMs = 0;
};
template <class Work>
STimes Measure(Work&& work) {
  QElapsedTimer timer;
  timer.start();
  const double cpu = ThreadCpuMs();
  work();
  return {double(timer.nsecsElapsed()) / 1e6, ThreadCpuMs() - cpu};
}

std::vector<SPropValue> MakeRecord(int index) {
  std::u16string text(20, u'a');
  unsigned v = unsigned(index);
  for (char16_t& c : text) {
    c = char16_t(u'a' + v % 26);
    v = v / 26 + 7;
  }
  return {SPropValue::I4(index * 7919 - 1'000'000), SPropValue::UI4(unsigned(index) * 2654435761u),
          SPropValue::Bool(index % 3 == 0), SPropValue::String(std::move(text)),
          SPropValue::FileTime(FileTimeNow() + std::uint64_t(index))};
}

bool MakeStore(const std::string& path, int records) {
  CObjectStore store(path);
  CWriteTransaction write(store);
  CEOID big = 0;
  if (write.Error() != 0 || store.CreateDatabase({u"Big", 0}, &big) != 0) return false;
  for (int i = 0; i < records; ++i)
    if (store.WriteRecord(big, MakeRecord(i)) != 0) return false;
  for (int i = 1; i < kDatabases; ++i) {
    CEOID db = 0;
    const std::string name = "db" + std::to_string(i);
    if (store.CreateDatabase({std::u16string(name.begin(), name.end()), std::uint32_t(i)}, &db) != 0 ||
        store.WriteRecord(db, MakeRecord(i)) != 0)
      return false;
  }
  return write.Commit() == 0;
}

struct SRecordCopy {
  WORD nCount = 0;
  std::vector<BYTE> buffer;
};

// The listing's walk without its lines (the same calls, the buffer
// reallocated by each read): what the store read costs.
int ReadAll(CObjectStore& store, std::vector<SRecordCopy>* copies) {
  CEOID oid = 0;
  const HANDLE db = CeOpenDatabase(store, &oid, u"Big", 0, CEDB_AUTOINCREMENT);
  if (db == INVALID_HANDLE_VALUE) return -1;
  WORD count = 0;
  BYTE* buffer = nullptr;
  DWORD size = 0;
  int read = 0;
  while (CeReadRecordProps(db, CEDB_ALLOWREALLOC, &count, &buffer, &size) != 0) {
    if (copies != nullptr) copies->push_back({count, std::vector<BYTE>(buffer, buffer + size)});
    ++read;
  }
  LocalFree(buffer);
  CloseHandle(db);
  return read;
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;

  QTemporaryDir data;
  qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
  const std::string path = DefaultStorePath();
  std::printf("making the store: %d databases, one of %d records...\n", kDatabases, records);
  std::fflush(stdout);
  if (!MakeStore(path, records)) {
    std::fprintf(stderr, "cannot make the store at %s\n", path.c_str());
    return 1;
  }

  QApplication app(argc, argv);
  bench::CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  CMonitorList& list = frame.GetList();
  const int maxLineLength = frame.Settings().database.m_nMaxLineLength;
  std::printf("log to file %d, quick draw %d, max line length %d\n", int(frame.Settings().monitor.m_bLogToFile),
              int(frame.Settings().monitor.m_bQuickDraw), maxLineLength);

  CObjectStore store(path);
  std::vector<SRecordCopy> copies;
  if (ReadAll(store, &copies) != records) {
    std::fprintf(stderr, "the store does not read back\n");
    return 1;
  }
  std::vector<std::u16string> lines;
  for (std::size_t i = 0; i < copies.size(); ++i)
    lines.push_back(FormatRecordLine(copies[i].buffer.data(), copies[i].nCount, DWORD(copies[i].buffer.size()), int(i),
                                     maxLineLength));

  std::vector<double> command, commandCpu, readMs, readCpu, formatMs, formatCpu, listMs, listCpu, allMs, allCpu;
  int shown = 0, databaseLines = 0;
  for (int round = 0; round < rounds; ++round) {
    const STimes read = Measure([&] { ReadAll(store, nullptr); });
    readMs.push_back(read.ms), readCpu.push_back(read.cpuMs);

    std::size_t total = 0;
    const STimes format = Measure([&] {
      for (std::size_t i = 0; i < copies.size(); ++i)
        total += FormatRecordLine(copies[i].buffer.data(), copies[i].nCount, DWORD(copies[i].buffer.size()), int(i),
                                  maxLineLength)
                     .size();
    });
    formatMs.push_back(format.ms), formatCpu.push_back(format.cpuMs);
    if (total == 0) return 1;

    list.ResetContent();
    app.processEvents();
    const STimes listing = Measure([&] {
      CTraceScope scope("ZEFMON_ReadDatabaseRecords()");
      for (const std::u16string& line : lines) scope.Print(line);
    });
    listMs.push_back(listing.ms), listCpu.push_back(listing.cpuMs);

    list.ResetContent();
    frame.AppendLine(QStringLiteral("  \"Big\" type=0 records=%1, size=0 KB").arg(records));
    list.SetSel(true, 0);
    app.processEvents();
    const STimes whole = Measure([&] {
      frame.OnCmdMsg(CommandId::DatabaseListRecords);
      frame.repaint();
    });
    command.push_back(whole.ms), commandCpu.push_back(whole.cpuMs);
    shown = list.GetCount();

    list.ResetContent();
    app.processEvents();
    const STimes all = Measure([&] {
      frame.OnCmdMsg(CommandId::DatabaseListAll);
      frame.repaint();
    });
    allMs.push_back(all.ms), allCpu.push_back(all.cpuMs);
    databaseLines = list.GetCount();
    app.processEvents();
  }

  const double wholeMs = bench::Median(command), wholeCpu = bench::Median(commandCpu);
  std::printf("%d rounds, medians (elapsed | thread CPU)\n", rounds);
  std::printf("List records, %d records:    %8.1f ms | %8.1f ms  -> %.0f records/s (%.0f by CPU)\n", records, wholeMs,
              wholeCpu, records * 1000 / wholeMs, records * 1000 / wholeCpu);
  const auto part = [&](const char* what, const std::vector<double>& ms, const std::vector<double>& cpu) {
    std::printf("  %-27s %8.1f ms | %8.1f ms  -> %4.1f%% | %4.1f%% of List records\n", what, bench::Median(ms),
                bench::Median(cpu), 100 * bench::Median(ms) / wholeMs, 100 * bench::Median(cpu) / wholeCpu);
  };
  part("store read alone:", readMs, readCpu);
  part("formatting alone:", formatMs, formatCpu);
  part("list (trace + monitor):", listMs, listCpu);
  std::printf("  (%d monitor lines per listing)\n", shown);
  std::printf("List all, %d databases:     %8.2f ms | %8.2f ms  (%d monitor lines)\n", kDatabases, bench::Median(allMs),
              bench::Median(allCpu), databaseLines);
  return 0;
}
