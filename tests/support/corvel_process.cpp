// Driving a built program over pipes.
#include "corvel_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>

extern char** environ;

namespace corvel::test {

ProgramProcess::ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (!environment.count(name)) env.push_back(entry);
  }
  for (const auto& [name, value] : environment) {
    if (!value.empty()) env.push_back(name + "=" + value);
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::setpgid(0, 0);  // its own group, so whatever it leaves behind can be ended with it
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
  ::fcntl(output_, F_SETFL, O_NONBLOCK);
}

ProgramProcess::~ProgramProcess() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (input_ >= 0) ::close(input_);
  if (output_ >= 0) ::close(output_);
}

void ProgramProcess::send(const std::string& line) {
  const std::string text = line + "\n";
  if (input_ < 0) return;
  // A program that has ended cannot take input; the test then fails on what it expected to see.
  std::signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] const ssize_t n = ::write(input_, text.data(), text.size());
}

void ProgramProcess::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

bool ProgramProcess::readSome(std::chrono::milliseconds timeout) {
  pollfd p{output_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[8192];
  const ssize_t n = ::read(output_, buffer, sizeof buffer);
  if (n <= 0) return false;
  transcript_.append(buffer, static_cast<std::size_t>(n));
  return true;
}

std::optional<std::string> ProgramProcess::waitFor(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto at = transcript_.find(text, consumed_);
    if (at != std::string::npos) {
      const auto start = transcript_.rfind('\n', at);
      const auto end = transcript_.find('\n', at);
      consumed_ = at + text.size();
      return transcript_.substr(
          start == std::string::npos ? 0 : start + 1,
          (end == std::string::npos ? transcript_.size() : end) - (start == std::string::npos ? 0 : start + 1));
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    if (!readSome(std::min(left, std::chrono::milliseconds(100))) && !running()) {
      while (readSome(std::chrono::milliseconds(0))) {
      }
      if (transcript_.find(text, consumed_) == std::string::npos) return std::nullopt;
    }
  }
}

bool ProgramProcess::running() {
  if (status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

std::optional<int> ProgramProcess::waitForExit(std::chrono::milliseconds timeout) {
  eventually(
      [this] {
        while (readSome(std::chrono::milliseconds(0))) {
        }
        return !running();
      },
      timeout);
  return status_;
}

void ProgramProcess::kill(int signal) { ::kill(pid_, signal); }

}  // namespace corvel::test
