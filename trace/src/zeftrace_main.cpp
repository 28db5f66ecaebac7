// zeftrace: sends lines to the running monitor. The arguments, joined by
// spaces, are one line; without arguments every line of standard input is
// one line. Exit status 1 when no monitor is running.
#include <zeftrace/trace.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("usage: zeftrace [LINE WORDS...]\n"
                "Sends the words, joined by spaces, as one line to the running ZEFMON monitor;\n"
                "without words, sends every line of standard input.\n");
    return 0;
  }
  // The lines are the tool's output to the monitor; echoing them would only
  // repeat the input.
  zef::SetTraceMirror(zef::ETraceMirror::kOff);
  if (!zef::TraceMonitorFound()) {
    std::fprintf(stderr, "zeftrace: no monitor is running (no window titled \"ZEF\" for this user)\n");
    return 1;
  }
  if (argc > 1) {
    std::string line = argv[1];
    for (int i = 2; i < argc; ++i) {
      line += ' ';
      line += argv[i];
    }
    zef::TraceLine(line);
    return 0;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    zef::TraceLine(line);
  }
  return 0;
}
