// What a collected child's wait status means as an exit status.
#pragma once

#include <sys/wait.h>

namespace corvel {

// The exit status; for a child ended by a signal, 128 + the signal number, as a shell reports it, so
// that it can never read as success; -1 for anything else.
inline int exitCodeFromWaitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace corvel
