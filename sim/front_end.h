// The simulated Mac's front end: one line-based protocol through which a person at a terminal, or a
// script over a pipe, plays the user at the screen. Lines come from one or more inputs; output goes
// to one descriptor.
#pragma once

#include <chrono>
#include <cstddef>
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

  // Lines longer than this are not commands: they are dropped with one explanation.
  static constexpr std::size_t MaxLineLength = 4096;

  // Another source of input lines, read alongside the first. With `reopen`, the source is a pipe
  // that writers come to and go from: when the last one has gone, a line it left unfinished is
  // dropped and `reopen` gives the descriptor to read on (negative: the source has ended). When
  // `replaced` says the pipe open is no longer the one at its name, the same happens once what was
  // already written into it has been read.
  void addInput(int fd, std::function<int()> reopen = nullptr, std::function<bool(int)> replaced = nullptr);
  // How long a modal read waits for a line before it counts as the end of input; by default for
  // ever, as a dialog on the screen does. Scripts that must never hang set a limit.
  void setModalTimeout(std::chrono::milliseconds timeout) { modalTimeout_ = timeout; }
  void setOutput(int fd) { outputFd_ = fd; }
  // The output is a file that must stay within `limit` bytes, `written` of them already used: before
  // a line would take it over, `rotate` moves the file aside and gives a fresh one (negative: none
  // for now, and the line is dropped).
  void limitOutput(std::size_t limit, std::size_t written, std::function<int()> rotate);

  // One line of output, as it is; a line feed is added.
  void say(const std::string& line);
  // What a line that means nothing now is answered with. A flood of such lines must not flood the
  // screen or the log: at most one explanation a second is shown, naming how many lines it covers.
  void explain(const std::string& explanation);

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
  // The answers the pending prompt takes; empty without one.
  const std::vector<std::string>& pendingAnswers() const { return pendingAnswers_; }

 private:
  struct Source {
    int fd;
    std::function<int()> reopen;
    std::string buffer;
    std::size_t lineStart = 0;  // where the line still waiting for its line feed begins in `buffer`
    bool overlong = false;      // dropping what is left of a line over the cap, up to its line feed
    bool ended = false;
    std::function<bool(int)> replaced;
  };
  using Clock = std::chrono::steady_clock;
  // How often a replaced pipe is looked for and explanations held back are shown.
  static constexpr std::chrono::seconds CheckInterval{1};

  std::optional<std::string> takeBufferedLine();
  // Reads what is available on `source`; false once it has ended.
  bool fill(Source& source);
  // Drops the unfinished line and reads from what `reopen` gives; false once the source has ended.
  bool reopen(Source& source);
  void reopenReplacedInputs();
  // The explanations held back, once their second is over (or at once, before other output).
  void sayHeldBack(bool now);
  void show(const std::string& line);
  void keepWithinCap(Source& source, std::size_t appended);
  void watch(int fd);
  void dispatchBufferedLines();

  std::vector<Source> sources_;
  SimApplication* application_ = nullptr;
  int outputFd_;
  std::size_t outputLimit_ = 0;
  std::size_t outputWritten_ = 0;
  std::function<int()> rotateOutput_;
  std::optional<Clock::time_point> lastExplained_;
  std::string heldBack_;  // the latest explanation not shown, for `heldBackLines_` lines
  std::size_t heldBackLines_ = 0;
  std::chrono::milliseconds modalTimeout_{-1};
  std::function<void(const std::string&)> handler_;
  std::vector<std::string> pendingAnswers_;
  std::function<void(const std::string&)> pendingAnswer_;
};

}  // namespace corvel::sim
