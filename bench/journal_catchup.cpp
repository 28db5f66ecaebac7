// Journal entries per second in a catch-up: a directory of journal files (one
// per host, as systemd-journal-remote gathers them) read from its beginning,
// one bounded pass after another, alone and into the monitor through
// CLineIntake::AddSourceLine (quick draw on). The entries carry the fields a
// service's entry has on a real machine, so that walking them costs what it
// costs there. Setup makes the files with systemd-journal-remote.
// Usage: QT_QPA_PLATFORM=offscreen bench_journal_catchup [entries] [rounds]
#include "bench/linemaker.h"
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"
#include "platform/window/peer.h"
#include "sources/journal.h"
#include "tests/support/journalfiles.h"

#include <QApplication>

using namespace zef;
using namespace zef::bench;

namespace {

constexpr int kHosts = 4;

double EntriesPerSecond(const QString& dir, int entries, const CJournalSource::LineSink& sink, int* taken) {
  *taken = 0;
  CJournalSource source(dir, std::make_shared<CJournalSenders>(kFirstSourceId + 0x8001, 0x7FFE), sink);
  return entries / TimeMs([&] {
           source.Start({}, {CJournalSource::EStart::kAll, 0, {}});
           while (*taken < entries) source.Pass();
         }) *
         1000.0;
}

bool MakeJournals(const QString& dir, int entries) {
  CLineMaker maker;
  const std::int64_t t0 = 1765290000000000;
  for (int h = 0; h < kHosts; ++h) {
    const QByteArray host = "host" + QByteArray::number(h);
    const QString file = dir + u'/' + QString::fromLatin1(host + ".journal");
    test::CJournalExport text;
    const auto write = [&] {
      QString error;
      if (text.WriteTo(file, &error)) return true;
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return false;
    };
    for (int i = h; i < entries; i += kHosts) {
      const QByteArray pid = QByteArray::number(1000 + i % 7);
      text.Add(t0 + i, {{"MESSAGE", maker.Line(i).toUtf8()},
                        {"PRIORITY", "6"},
                        {"SYSLOG_FACILITY", "3"},
                        {"SYSLOG_IDENTIFIER", "app"},
                        {"CODE_FILE", "src/app/worker.c"},
                        {"CODE_LINE", QByteArray::number(100 + i % 50)},
                        {"CODE_FUNC", "worker_run"},
                        {"_PID", pid},
                        {"_UID", "1000"},
                        {"_GID", "1000"},
                        {"_COMM", "app"},
                        {"_EXE", "/usr/bin/app"},
                        {"_CMDLINE", "/usr/bin/app --serve"},
                        {"_CAP_EFFECTIVE", "0"},
                        {"_SYSTEMD_CGROUP", "/system.slice/app.service"},
                        {"_SYSTEMD_UNIT", "app.service"},
                        {"_SYSTEMD_SLICE", "system.slice"},
                        {"_TRANSPORT", "journal"},
                        {"_BOOT_ID", "0123456789abcdef0123456789abcdef"},
                        {"_MACHINE_ID", "fedcba9876543210fedcba9876543210"},
                        {"_HOSTNAME", host},
                        {"_SOURCE_REALTIME_TIMESTAMP", QByteArray::number(t0 + i - 5)}});
      // In slices, so that the export text stays small.
      if ((i / kHosts) % 50000 == 49999 && !write()) return false;
    }
    if (!text.IsEmpty() && !write()) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int entries = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (!test::HaveJournalRemote()) {
    std::fprintf(stderr, "needs systemd-journal-remote (Debian package systemd-journal-remote)\n");
    return 1;
  }
  QTemporaryDir dir;
  if (!MakeJournals(dir.path(), entries)) return 1;
  CToolFrame tool;
  CMainFrame& frame = tool.Frame();
  frame.Settings().monitor.m_bQuickDraw = true;
  frame.resize(900, 700);
  frame.show();
  int taken = 0;
  std::vector<double> alone;
  std::vector<double> monitor;
  for (int r = 0; r < rounds; ++r) {
    alone.push_back(EntriesPerSecond(
        dir.path(), entries, [&](const QString&, std::uint32_t, const QString&, std::int64_t) { ++taken; }, &taken));
    frame.GetList().ResetContent();
    monitor.push_back(EntriesPerSecond(
        dir.path(), entries,
        [&](const QString& line, std::uint32_t id, const QString& label, std::int64_t timeUs) {
          frame.Intake().AddSourceLine(line, id, label, timeUs);
          ++taken;
        },
        &taken));
  }
  std::printf("%d journal entries of 22 fields in %d files, %d rounds, medians\n", entries, kHosts, rounds);
  std::printf("read and decoded:     %10.0f entries/s\n", Median(alone));
  std::printf("into the monitor:     %10.0f entries/s\n", Median(monitor));
  return 0;
}
