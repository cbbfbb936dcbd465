// Test helper: alternates unbuffered lines between stdout and stderr, N lines in all.
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 10;
  for (int i = 0; i < lines; ++i) {
    const int fd = i % 2 == 0 ? STDOUT_FILENO : STDERR_FILENO;
    const std::string line = (fd == STDOUT_FILENO ? "out " : "err ") + std::to_string(i) + "\n";
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 3;
  }
  return 0;
}
