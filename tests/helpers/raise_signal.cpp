// Test helper: prints a line, then ends itself with the signal whose number is given.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const int signalNumber = std::atoi(argv[1]);
  if (::write(STDOUT_FILENO, "before\n", 7) != 7) return 3;
  // The disposition may have been inherited as ignored; the point is to die by this signal.
  std::signal(signalNumber, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signalNumber);
  return 4;
}
