// Driving a built program over pipes.
#include "corvel_process.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <utility>

extern char** environ;

namespace corvel::test {

ProgramProcess::ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
  // Everything the child needs is made before the fork: the child only execs.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::erase_if(env, [&](const std::string& e) { return environment.count(e.substr(0, e.find('='))); });
  for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
  std::erase_if(env, [&](const std::string& e) { return environment.count(e.substr(0, e.size() - 1)); });
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  for (auto& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::setpgid(0, 0);  // its own group, so whatever it leaves behind can be ended with it
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
  ::close(input_);
  ::close(output_);
}

void ProgramProcess::send(const std::string& line) {
  // A program that has ended cannot take input; the test then fails on what it expected to see.
  std::signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] const ssize_t n = ::write(input_, (line + "\n").data(), line.size() + 1);
}

void ProgramProcess::closeInput() { ::close(std::exchange(input_, -1)); }

bool ProgramProcess::readSome(std::chrono::milliseconds timeout) {
  pollfd p{output_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[8192];
  const ssize_t n = ::read(output_, buffer, sizeof buffer);
  if (n > 0) transcript_.append(buffer, static_cast<std::size_t>(n));
  return n > 0;
}

bool ProgramProcess::waitFor(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Once the program has ended, what it wrote last is still read before giving up.
  for (bool more = true;; more = readSome(std::chrono::milliseconds(100)) || running() || readSome({})) {
    if (const auto at = transcript_.find(text, consumed_); at != std::string::npos) {
      consumed_ = at + text.size();
      return true;
    }
    if (!more || std::chrono::steady_clock::now() > deadline) return false;
  }
}

bool ProgramProcess::running() {
  int status = 0;
  if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_)
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return !status_;
}

std::optional<int> ProgramProcess::waitForExit(std::chrono::milliseconds timeout) {
  // Read as it goes, so that a full pipe never holds it up; done once it has ended and all is read.
  eventually([this] { return !readSome({}) && !running() && !readSome({}); }, timeout);
  return status_;
}

}  // namespace corvel::test
