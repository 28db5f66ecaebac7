// A process for the process tools to find and end: three threads, "ready"
// on standard output once they all run, then waiting until killed or until
// its standard input closes. With an argument N it first fills N MiB of
// memory, which makes its end take measurably long once it is killed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  const std::size_t filled = argc > 1 ? std::strtoul(argv[1], nullptr, 10) << 20 : 0;
  if (filled != 0) {
    // Small pages: huge ones would be freed too fast to tell.
    void* memory = ::mmap(nullptr, filled, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return 1;
    ::madvise(memory, filled, MADV_NOHUGEPAGE);
    std::memset(memory, 1, filled);
  }
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
