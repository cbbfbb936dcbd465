// Port: running system tools as child processes, short-lived (with their output) or long-lived.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvel {

struct ProcessResult {
  // The child's exit status. A child ended by a signal reports 128 + the signal number, as a shell
  // does, so it is never mistaken for success. -1 when the child could not be started.
  int exitCode = -1;
  // Standard output and standard error as one stream, in arrival order; "" when the bytes are not
  // valid UTF-8 (never a partial or lossy decoding).
  std::string output;

  friend bool operator==(const ProcessResult&, const ProcessResult&) = default;
};

// A long-lived child whose output goes to the null device. It is never waited for by its owner;
// dropping the handle does not end the process.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  virtual pid_t pid() const = 0;
  virtual bool isRunning() = 0;
  // Sends the termination signal; does not wait for the exit.
  virtual void terminate() = 0;
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;

  // Starts `executable` (an absolute path, no search, no shell) with `arguments` as its argument
  // vector, inheriting standard input, environment and working directory; waits for it to end.
  virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments) = 0;
  // As run(), but the child's standard input is a pipe that receives `input` and is then closed.
  virtual ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                                     const std::string& input) = 0;
  // Starts a long-lived child with standard output and standard error on the null device; none when
  // it could not be started.
  virtual std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                               const std::vector<std::string>& arguments) = 0;
  // Takes charge of a process started earlier (by a previous run of this program) when `pid` still
  // runs exactly `executable` with `arguments`; none otherwise, so a reused pid is never mistaken
  // for it.
  virtual std::unique_ptr<ChildProcess> adopt(pid_t pid, const std::string& executable,
                                              const std::vector<std::string>& arguments) = 0;
};

}  // namespace corvel
