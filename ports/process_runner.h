// Port: running system tools as child processes, short-lived (with their output) or long-lived.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvel {

// How long a short-lived tool may take and how much of its output is kept, chosen by each caller
// for its tool. A tool that would never answer, or never stop writing, must not hold the caller (the
// event loop, or a status check run from a monitoring script) or fill its memory.
struct RunLimits {
  std::chrono::milliseconds time;  // from the start, writing its input and draining its output included
  std::size_t outputBytes;         // standard output and standard error together
};

// Enough for any answer of the system tools, which is a few lines.
inline constexpr std::size_t ToolOutputCap = std::size_t{4} * 1024 * 1024;

// Which limit made the runner end a tool.
enum class LimitExceeded { none, time, output };

struct ProcessResult {
  // Set on a result whose tool the runner ended at a limit: no answer was given, so the caller must
  // read it as "cannot be read", never as any value.
  static constexpr int EndedAtLimit = -2;

  // The child's exit status. A child ended by a signal reports 128 + the signal number, as a shell
  // does, so it is never mistaken for success. -1 when the child could not be started;
  // EndedAtLimit when it was ended for going past its limits.
  int exitCode = -1;
  // Standard output and standard error as one stream, in arrival order; "" when the bytes are not
  // valid UTF-8 (never a partial or lossy decoding), and "" for a tool ended at a limit, since part
  // of an answer is no answer.
  std::string output;
  LimitExceeded exceeded = LimitExceeded::none;

  bool endedAtLimit() const { return exceeded != LimitExceeded::none; }
  friend bool operator==(const ProcessResult&, const ProcessResult&) = default;
};

// What tells one process from every other for good: the system hands a pid to another process once
// its holder has ended, but never with the same start time.
struct ProcessIdentity {
  pid_t pid = 0;
  std::uint64_t startTime = 0;  // as the kernel reports it, in its own units
  uid_t owner = 0;              // the account it runs as
  friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// A long-lived child whose output goes to the null device. It is never waited for by its owner;
// dropping the handle does not end the process.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  virtual pid_t pid() const = 0;
  // None once the child has ended, or when the system does not tell.
  virtual std::optional<ProcessIdentity> identity() const = 0;
  virtual bool isRunning() = 0;
  // Sends the termination signal; does not wait for the exit.
  virtual void terminate() = 0;
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;

  // Starts `executable` (an absolute path, no search, no shell) with `arguments` as its argument
  // vector, inheriting environment and working directory, and waits for it to end. Its standard input
  // is the null device. It runs in a process group of its own: past either of `limits` the whole
  // group is killed (a grandchild too, unless it left the group), the child collected, and the result
  // says which limit with EndedAtLimit and no output.
  virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                            const RunLimits& limits) = 0;
  // As run(), but the child's standard input is a pipe that receives `input` and is then closed. A
  // child that never reads its input is still bound by the time limit.
  virtual ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                                     const std::string& input, const RunLimits& limits) = 0;
  // Starts a long-lived child with standard output and standard error on the null device; none when
  // it could not be started.
  virtual std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                               const std::vector<std::string>& arguments) = 0;
  // Takes charge of a process started earlier (by a previous run of this program) when the process
  // with `identity` (pid, start time and owner alike) is alive and runs exactly `executable` with
  // `arguments`; none otherwise, so a reused pid is never mistaken for it.
  virtual std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& executable,
                                              const std::vector<std::string>& arguments) = 0;
};

}  // namespace corvel
