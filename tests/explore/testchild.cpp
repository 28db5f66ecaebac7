// A process for the process tools to find and end: three threads, "ready"
// on standard output once they all run, then waiting until killed or until
// its standard input closes.
#include <unistd.h>

#include <cstdio>
#include <thread>

int main() {
  int block[2];
  if (::pipe(block) != 0) return 1;
  // Both extra threads wait on a pipe nobody writes to.
  auto wait = [&block] {
    char c;
    while (::read(block[0], &c, 1) < 0) {
    }
  };
  std::thread first(wait);
  std::thread second(wait);
  std::printf("ready\n");
  std::fflush(stdout);
  char c;
  while (::read(STDIN_FILENO, &c, 1) > 0) {
  }
  ::_exit(0);
}
