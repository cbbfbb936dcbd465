// Runs a built program as a real child over pipes, the way a person at a terminal would drive it.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace corvel::test {

class ProgramProcess {
 public:
  // The current environment plus `environment`, where an empty value removes a variable; standard
  // output and error share one pipe, so the transcript keeps their order.
  ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment);
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  pid_t pid() const { return pid_; }
  void send(const std::string& line);
  void closeInput();
  // Whether `text` is printed, after what earlier calls matched, before the time runs out or the
  // program ends.
  bool waitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  const std::string& transcript() const { return transcript_; }
  // The exit status (128 + signal when killed), or none after `timeout`.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  bool running();

 private:
  bool readSome(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string transcript_;
  std::size_t consumed_ = 0;
  std::optional<int> status_;
};

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    ::usleep(20000);
  }
  return condition();
}

}  // namespace corvel::test
