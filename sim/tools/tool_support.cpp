// What several of the simulated Mac's tools do alike.
#include "tool_support.h"

#include <cerrno>
#include <unistd.h>

namespace corvel::sim {

volatile std::sig_atomic_t endingSignal = 0;

namespace {

void onEndingSignal(int signal) { endingSignal = signal; }
void onChildEnded(int) {}  // only there so that SIGCHLD interrupts ppoll

}  // namespace

SignalMasks catchEndingSignalsAndChildren() {
  sigset_t handled;
  sigemptyset(&handled);
  for (int signal : EndingSignals) sigaddset(&handled, signal);
  sigaddset(&handled, SIGCHLD);
  SignalMasks masks{};
  sigprocmask(SIG_BLOCK, &handled, &masks.original);
  masks.wait = masks.original;
  for (int signal : EndingSignals) sigdelset(&masks.wait, signal);
  sigdelset(&masks.wait, SIGCHLD);
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = onEndingSignal;
  for (int signal : EndingSignals) sigaction(signal, &action, nullptr);
  action.sa_handler = onChildEnded;
  sigaction(SIGCHLD, &action, nullptr);
  return masks;
}

std::string readPasswordLine() {
  std::string password;
  char c;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    password.push_back(c);
  }
  return password;
}

}  // namespace corvel::sim
