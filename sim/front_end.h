// The simulated Mac's front end: one line-based protocol through which a person at a terminal, or a
// script over a pipe, plays the user at the screen. Lines come from one or more inputs; output goes
// to one descriptor.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvel::sim {

class SimApplication;

class FrontEnd {
 public:
  FrontEnd(int inputFd, int outputFd);
  virtual ~FrontEnd() = default;
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  // Another source of input lines, read alongside the first.
  void addInput(int fd);
  // How long a modal read waits for a line before it counts as the end of input; by default for
  // ever, as a dialog on the screen does. Scripts that must never hang set a limit.
  void setModalTimeout(std::chrono::milliseconds timeout) { modalTimeout_ = timeout; }
  void setOutput(int fd) { outputFd_ = fd; }

  // One line of output, as it is; a line feed is added.
  void say(const std::string& line);

  // Modal reading, as while a dialog is up: blocks until a whole line arrives on any input. None
  // once every input has ended.
  std::optional<std::string> readLine();
  // As readLine(), but for a secret: a terminal does not echo it.
  std::optional<std::string> readSecretLine();
  // Shows `prompt` with the accepted answers and reads lines until one of them comes; any other
  // line gets a one-line explanation. None once every input has ended.
  std::optional<std::string> ask(const std::string& prompt, const std::vector<std::string>& answers);

  // Event-loop reading: lines that arrive while no dialog is up go to the handler, unless a pending
  // prompt (such as the fingerprint prompt, which is not modal) accepts them.
  void attach(SimApplication& application);
  void setLineHandler(std::function<void(const std::string&)> handler) { handler_ = std::move(handler); }
  void setPendingPrompt(std::vector<std::string> answers, std::function<void(const std::string&)> onAnswer);
  bool hasPendingPrompt() const { return static_cast<bool>(pendingAnswer_); }

 private:
  struct Source {
    int fd;
    std::string buffer;
    bool ended = false;
  };
  std::optional<std::string> takeBufferedLine();
  // Reads what is available on `source`; false at its end.
  bool fill(Source& source);
  void dispatchBufferedLines();

  std::vector<Source> sources_;
  int outputFd_;
  std::chrono::milliseconds modalTimeout_{-1};
  std::function<void(const std::string&)> handler_;
  std::vector<std::string> pendingAnswers_;
  std::function<void(const std::string&)> pendingAnswer_;
};

}  // namespace corvel::sim
