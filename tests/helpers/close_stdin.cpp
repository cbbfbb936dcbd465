// Test helper: closes stdin at once, says so, lingers the given milliseconds, exits with the given code.
#include <cstdlib>
#include <ctime>
#include <unistd.h>

int main(int argc, char** argv) {
  ::close(STDIN_FILENO);
  if (::write(STDOUT_FILENO, "closed\n", 7) != 7) return 3;
  const long lingerMs = argc > 2 ? std::atol(argv[2]) : 0;
  // Lingering keeps the child alive while the parent is still writing into the closed pipe.
  timespec pause{lingerMs / 1000, lingerMs % 1000 * 1000000};
  while (::nanosleep(&pause, &pause) != 0) {
  }
  return argc > 1 ? std::atoi(argv[1]) : 0;
}
