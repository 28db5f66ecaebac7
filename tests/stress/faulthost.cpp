// The monitor for the fault tests: the application and its main frame,
// with the settings file given as the only argument, running the command
// ids it reads from standard input, one per line. Prints "READY" once trace
// clients can reach it and "DONE <id>" after each command returned.
#include "shell/app.h"
#include "shell/mainframe.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zef_stress_faulthost <settings file>\n");
    return 2;
  }
  zef::CQrbWinApp app(std::make_unique<zef::CProfile>(QString::fromLocal8Bit(argv[1])));
  QString error;
  if (!app.InitInstance(&error)) {
    std::fprintf(stderr, "zef_stress_faulthost: %s\n", qPrintable(error));
    return 1;
  }

  std::string pending;
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      QApplication::quit();
      return;
    }
    pending.append(buffer, std::size_t(n));
    for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
      const unsigned long id = std::stoul(pending.substr(0, eol));
      pending.erase(0, eol + 1);
      app.GetMainWnd()->OnCmdMsg(zef::CommandId(id));
      std::printf("DONE %lu\n", id);
      std::fflush(stdout);
    }
  });
  std::printf("READY\n");
  std::fflush(stdout);
  return application.exec();
}
