// Listing every process of the machine with 1,000 extra processes running
// (forked by the benchmark, each waiting on a pipe that closes when the
// benchmark ends, so none outlives it).
//
//   QT_QPA_PLATFORM=offscreen bench_process_list [extra] [rounds]   (1000, 15)
//
// Figures, medians of the rounds: the /proc walk alone (snapshot, entries,
// close), and the whole "List all" command through the main window (header,
// traced scope, one monitor line per process, scroll), each in ms and per
// process, as elapsed time, as the thread's CPU time (the kernel's work of
// generating the /proc files is done in this thread and counted there), and
// the part of the elapsed time the thread spent runnable but waiting for a
// CPU (schedstat), which on a loaded machine makes up most of the rest.
#include "bench/toolframe.h"
#include "monitor/monitorlist.h"
#include "platform/system/process.h"

#include <QApplication>
#include <QElapsedTimer>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zef;

namespace {

double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Nanoseconds this thread has waited on a run queue.
double RunQueueWaitMs() {
  unsigned long long onCpu = 0, waiting = 0;
  if (FILE* file = std::fopen("/proc/thread-self/schedstat", "r")) {
    if (std::fscanf(file, "%llu %llu", &onCpu, &waiting) != 2) waiting = 0;
    std::fclose(file);
  }
  return double(waiting) / 1e6;
}

std::string LoadAverage() {
  char text[128] = {};
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (!std::fgets(text, sizeof text, file)) text[0] = 0;
    std::fclose(file);
  }
  return text;
}

int WalkProcesses() {
  const HSNAPSHOT snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (!snapshot) return -1;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  int count = 0;
  for (bool more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) ++count;
  CloseToolhelp32Snapshot(snapshot);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int extra = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;

  int gate[2];
  if (::pipe(gate) != 0) return 1;
  for (int i = 0; i < extra; ++i) {
    const pid_t pid = ::fork();
    if (pid < 0) {
      std::perror("fork");
      return 1;
    }
    if (pid == 0) {
      ::close(gate[1]);
      char c;
      while (::read(gate[0], &c, 1) < 0) {
      }
      ::_exit(0);
    }
  }
  ::close(gate[0]);

  QApplication app(argc, argv);
  bench::CToolFrame tool;
  CMainFrame& frame = tool.Frame();

  std::vector<double> walk, walkCpu, walkWait;
  std::vector<double> command, commandCpu, commandWait;
  int processes = 0;
  int lines = 0;
  for (int round = 0; round < rounds; ++round) {
    QElapsedTimer timer;
    timer.start();
    double cpu = ThreadCpuMs();
    double wait = RunQueueWaitMs();
    processes = WalkProcesses();
    walkCpu.push_back(ThreadCpuMs() - cpu);
    walkWait.push_back(RunQueueWaitMs() - wait);
    walk.push_back(double(timer.nsecsElapsed()) / 1e6);

    frame.GetList().ResetContent();
    app.processEvents();
    timer.restart();
    cpu = ThreadCpuMs();
    wait = RunQueueWaitMs();
    frame.OnCmdMsg(CommandId::ProcessListAll);
    commandCpu.push_back(ThreadCpuMs() - cpu);
    commandWait.push_back(RunQueueWaitMs() - wait);
    command.push_back(double(timer.nsecsElapsed()) / 1e6);
    lines = frame.GetList().GetCount();
    app.processEvents();
  }
  const auto report = [processes](const char* what, double ms, double cpuMs, double waitMs) {
    std::printf("%-28s %7.2f ms %7.2f us/process | CPU %6.2f ms %6.2f us/process | waiting for a CPU %7.2f ms\n", what,
                ms, ms * 1000 / processes, cpuMs, cpuMs * 1000 / processes, waitMs);
  };
  std::printf("processes: %d (%d started by the benchmark); %d rounds, medians; load average %s", processes, extra,
              rounds, LoadAverage().c_str());
  report("/proc walk alone:", bench::Median(walk), bench::Median(walkCpu), bench::Median(walkWait));
  report("List all through the frame:", bench::Median(command), bench::Median(commandCpu), bench::Median(commandWait));
  std::printf("(%d monitor lines per listing)\n", lines);
  ::close(gate[1]);
  return 0;
}
