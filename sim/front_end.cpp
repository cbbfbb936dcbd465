// Line input and output of the simulated front end.
#include "front_end.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <pthread.h>
#include <string_view>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "application_sim.h"

namespace corvel::sim {

FrontEnd::FrontEnd(int inputFd, int outputFd) : outputFd_(outputFd) {
  sources_.push_back({inputFd, nullptr, "", 0, false, false, nullptr});
}

void FrontEnd::addInput(int fd, std::function<int()> reopen, std::function<bool(int)> replaced) {
  sources_.push_back({fd, std::move(reopen), "", 0, false, false, std::move(replaced)});
}

void FrontEnd::limitOutput(std::size_t limit, std::size_t written, std::function<int()> rotate) {
  outputLimit_ = limit;
  outputWritten_ = written;
  rotateOutput_ = std::move(rotate);
}

void FrontEnd::say(const std::string& line) {
  // What was held back is older than this line, and would otherwise show under what this starts.
  sayHeldBack(/*now=*/true);
  show(line);
}

void FrontEnd::show(const std::string& line) {
  const std::string text = line + "\n";
  if (rotateOutput_ && outputWritten_ + text.size() > outputLimit_) {
    const int fresh = rotateOutput_();
    if (fresh < 0) return;
    ::close(outputFd_);
    outputFd_ = fresh;
    outputWritten_ = 0;
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(outputFd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // nobody is listening any more; the program goes on regardless
    written += static_cast<std::size_t>(n);
  }
  outputWritten_ += written;
}

void FrontEnd::explain(const std::string& explanation) {
  heldBack_ = explanation;
  ++heldBackLines_;
  sayHeldBack(/*now=*/false);
}

void FrontEnd::sayHeldBack(bool now) {
  if (heldBackLines_ == 0) return;
  const auto time = Clock::now();
  if (!now && lastExplained_ && time - *lastExplained_ < CheckInterval) return;
  std::string line = std::move(heldBack_);
  if (heldBackLines_ > 1) line += "（分からない行を" + std::to_string(heldBackLines_) + "行読み捨てました）";
  heldBack_.clear();
  heldBackLines_ = 0;
  lastExplained_ = time;
  show(line);
}

namespace {

constexpr const char* OverlongExplanation = "その行は長すぎるため読み捨てました（1行は4096バイトまで）。";

// While a secret is read at a terminal its echo is off; a signal that ends Corvel meanwhile must
// not leave the user's shell without it. What the handler needs is kept here, set before it is
// installed.
constexpr int TerminalEndingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
struct sigaction previousActions[std::size(TerminalEndingSignals)];
int secretTerminal = -1;
termios terminalAsFound, terminalQuiet;
volatile std::sig_atomic_t readingSecret = 0;

bool ignored(const struct sigaction& action) { return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN; }

// Async-signal-safe: only tcsetattr, sigaction, the signal mask, raise and _exit.
void giveTerminalBackThenPassOn(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  ::tcsetattr(secretTerminal, TCSANOW, &terminalAsFound);
  std::size_t i = 0;
  while (i + 1 < std::size(TerminalEndingSignals) && TerminalEndingSignals[i] != signal) ++i;
  const struct sigaction& previous = previousActions[i];
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler == SIG_DFL) {
    // Ends the process as the signal would have without this handler (with a core for SIGQUIT).
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(signal, &byDefault, nullptr);
    sigset_t blocked;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, signal);
    ::raise(signal);
    ::pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    ::_exit(128 + signal);
  } else if (previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  }
  // Corvel goes on, and so does the reading of the secret.
  if (readingSecret) ::tcsetattr(secretTerminal, TCSANOW, &terminalQuiet);
  errno = savedErrno;
}

// The terminal's echo off for one secret, and its settings given back on every way out.
class QuietTerminal {
 public:
  explicit QuietTerminal(int fd) {
    if (!::isatty(fd) || ::tcgetattr(fd, &terminalAsFound) != 0) return;
    secretTerminal = fd;
    terminalQuiet = terminalAsFound;
    terminalQuiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    terminalQuiet.c_lflag |= ECHONL;
    struct sigaction handler {};
    handler.sa_sigaction = giveTerminalBackThenPassOn;
    handler.sa_flags = SA_SIGINFO;
    ::sigemptyset(&handler.sa_mask);
    for (int signal : TerminalEndingSignals) ::sigaddset(&handler.sa_mask, signal);
    for (std::size_t i = 0; i < std::size(TerminalEndingSignals); ++i) {
      // A signal ignored on purpose (nohup) stays ignored.
      ::sigaction(TerminalEndingSignals[i], nullptr, &previousActions[i]);
      installed_[i] = !ignored(previousActions[i]) && ::sigaction(TerminalEndingSignals[i], &handler, nullptr) == 0;
    }
    readingSecret = 1;
    active_ = true;
    ::tcsetattr(fd, TCSAFLUSH, &terminalQuiet);
  }
  ~QuietTerminal() {
    if (!active_) return;
    readingSecret = 0;
    ::tcsetattr(secretTerminal, TCSAFLUSH, &terminalAsFound);
    for (std::size_t i = 0; i < std::size(TerminalEndingSignals); ++i) {
      if (installed_[i]) ::sigaction(TerminalEndingSignals[i], &previousActions[i], nullptr);
    }
  }
  QuietTerminal(const QuietTerminal&) = delete;
  QuietTerminal& operator=(const QuietTerminal&) = delete;

 private:
  bool active_ = false;
  bool installed_[std::size(TerminalEndingSignals)] = {};
};

}  // namespace

std::optional<std::string> FrontEnd::takeBufferedLine() {
  for (auto& source : sources_) {
    while (source.lineStart > 0 || (source.ended && !source.buffer.empty())) {
      // A last line without a line feed still counts once its input has ended.
      const auto end = source.lineStart > 0 ? source.buffer.find('\n') : source.buffer.size();
      std::string line = source.buffer.substr(0, end);
      source.buffer.erase(0, std::min(end + 1, source.buffer.size()));
      source.lineStart -= std::min(end + 1, source.lineStart);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() <= MaxLineLength) return line;
      say(OverlongExplanation);
    }
  }
  return std::nullopt;
}

void FrontEnd::keepWithinCap(Source& source, std::size_t appended) {
  // Only the bytes just read are searched, so a long line costs its length once, not once per read.
  std::size_t from = source.buffer.size() - appended;
  if (source.overlong) {
    const auto end = source.buffer.find('\n', from);
    source.buffer.erase(source.lineStart, end == std::string::npos ? std::string::npos : end + 1 - source.lineStart);
    if (end == std::string::npos) return;
    source.overlong = false;
    from = source.lineStart;
  }
  if (const auto last = std::string_view(source.buffer).substr(from).rfind('\n'); last != std::string_view::npos) {
    source.lineStart = from + last + 1;
  }
  // One more byte than the cap leaves room for the carriage return of a CRLF line.
  if (source.buffer.size() - source.lineStart > MaxLineLength + 1) {
    source.buffer.resize(source.lineStart);
    source.overlong = true;
    say(OverlongExplanation);
  }
}

bool FrontEnd::fill(Source& source) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(source.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    if (n > 0) {
      source.buffer.append(buffer, static_cast<std::size_t>(n));
      keepWithinCap(source, static_cast<std::size_t>(n));
      return true;
    }
    if (!source.reopen) {
      source.ended = true;
      return false;
    }
    return reopen(source);
  }
}

bool FrontEnd::reopen(Source& source) {
  // The pipe has no writer left (or is no longer the one at its name), so nobody can finish the line
  // the last one left; kept, it would swallow the next writer's command.
  source.buffer.resize(source.lineStart);
  source.overlong = false;
  const int previous = source.fd;
  source.fd = source.reopen();
  ::close(previous);  // only now, so that a writer never finds the pipe without a reader
  if (application_) application_->unwatchInput(previous);
  if (source.fd < 0) {
    source.ended = true;
    return false;
  }
  if (application_) watch(source.fd);
  return true;
}

void FrontEnd::reopenReplacedInputs() {
  for (auto& source : sources_) {
    if (source.ended || !source.replaced || !source.replaced(source.fd)) continue;
    // What was written before the pipe was replaced still counts; reading it may meet the end.
    const int previous = source.fd;
    if (fill(source) && source.fd == previous) reopen(source);
  }
}

std::optional<std::string> FrontEnd::readLine() {
  const auto limit = [this] { return Clock::now() + modalTimeout_; };
  auto deadline = limit();
  for (;;) {
    if (auto line = takeBufferedLine()) return line;
    std::vector<pollfd> fds;
    for (const auto& source : sources_) {
      if (!source.ended) fds.push_back({source.fd, POLLIN, 0});
    }
    if (fds.empty()) return std::nullopt;
    // A dialog may stay up for long; what the event loop's checks do meanwhile is done here.
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(CheckInterval);
    if (modalTimeout_.count() >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      wait = std::min(wait, left);
    }
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) return std::nullopt;
    sayHeldBack(/*now=*/false);
    reopenReplacedInputs();
    if (ready <= 0) continue;
    deadline = limit();
    for (const auto& p : fds) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Source& s) { return s.fd == p.fd; });
      if (it != sources_.end()) fill(*it);
    }
  }
}

std::optional<std::string> FrontEnd::readSecretLine() {
  // Only a terminal echoes; a pipe never shows anything.
  const QuietTerminal quiet(sources_.front().fd);
  return readLine();
}

std::optional<std::string> FrontEnd::ask(const std::string& prompt, const std::vector<std::string>& answers) {
  std::string choices;
  for (const auto& answer : answers) choices += (choices.empty() ? "" : " / ") + answer;
  say(prompt + " [" + choices + "]");
  for (;;) {
    const auto line = readLine();
    if (!line) return std::nullopt;
    if (std::find(answers.begin(), answers.end(), *line) != answers.end()) return line;
    explain("その行は分かりません。次のどれかを入力してください: " + choices);
  }
}

void FrontEnd::attach(SimApplication& application) {
  application_ = &application;
  for (const auto& source : sources_) watch(source.fd);
  // Lines already read but not yet handled, for instance several that arrived in one read; a
  // negative descriptor is never polled, only asked.
  application.watchInput(
      -1, [this] { dispatchBufferedLines(); },
      [this] {
        return std::any_of(sources_.begin(), sources_.end(),
                           [](const Source& s) { return s.lineStart > 0 || (s.ended && !s.buffer.empty()); });
      });
  application.scheduleRepeatingTimer(CheckInterval, [this] {
    sayHeldBack(/*now=*/false);
    reopenReplacedInputs();
  });
}

void FrontEnd::watch(int fd) {
  application_->watchInput(fd, [this, fd] {
    auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Source& s) { return s.fd == fd; });
    // An ended input would poll as readable for ever.
    if (it != sources_.end() && !fill(*it)) application_->unwatchInput(fd);
    dispatchBufferedLines();
  });
}

void FrontEnd::setPendingPrompt(std::vector<std::string> answers, std::function<void(const std::string&)> onAnswer) {
  pendingAnswers_ = std::move(answers);
  pendingAnswer_ = std::move(onAnswer);
}

void FrontEnd::dispatchBufferedLines() {
  // One line per turn of the loop: what a line starts (a dialog, a nested wait) may read the next.
  const auto line = takeBufferedLine();
  if (!line) return;
  if (pendingAnswer_ && std::find(pendingAnswers_.begin(), pendingAnswers_.end(), *line) != pendingAnswers_.end()) {
    auto answer = std::move(pendingAnswer_);
    pendingAnswer_ = nullptr;
    pendingAnswers_.clear();
    answer(*line);
    return;
  }
  if (handler_) {
    handler_(*line);
    return;
  }
  // Never the line itself: whoever can write to an input would reach the terminal through it.
  std::string understood;
  for (const auto& answer : pendingAnswers_) understood += (understood.empty() ? "" : " / ") + answer;
  explain(understood.empty() ? "その行は分かりません。" : "その行は分かりません。使えるのは " + understood + " です。");
}

}  // namespace corvel::sim
