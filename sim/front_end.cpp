// Line input and output of the simulated front end.
#include "front_end.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "application_sim.h"

namespace corvel::sim {

FrontEnd::FrontEnd(int inputFd, int outputFd) : outputFd_(outputFd) { sources_.push_back({inputFd, "", false}); }

void FrontEnd::addInput(int fd) { sources_.push_back({fd, "", false}); }

void FrontEnd::say(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(outputFd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody is listening any more; the program goes on regardless
    written += static_cast<std::size_t>(n);
  }
}

std::optional<std::string> FrontEnd::takeBufferedLine() {
  for (auto& source : sources_) {
    const auto end = source.buffer.find('\n');
    if (end == std::string::npos) {
      // A last line without a line feed still counts once its input has ended.
      if (source.ended && !source.buffer.empty()) {
        std::string line;
        line.swap(source.buffer);
        return line;
      }
      continue;
    }
    std::string line = source.buffer.substr(0, end);
    source.buffer.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  return std::nullopt;
}

bool FrontEnd::fill(Source& source) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(source.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      source.ended = true;
      return false;
    }
    source.buffer.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

std::optional<std::string> FrontEnd::readLine() {
  for (;;) {
    if (auto line = takeBufferedLine()) return line;
    std::vector<pollfd> fds;
    for (const auto& source : sources_) {
      if (!source.ended) fds.push_back({source.fd, POLLIN, 0});
    }
    if (fds.empty()) return std::nullopt;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(modalTimeout_.count()));
    if (ready == 0) return std::nullopt;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    for (const auto& p : fds) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Source& s) { return s.fd == p.fd; });
      if (it != sources_.end()) fill(*it);
    }
  }
}

std::optional<std::string> FrontEnd::readSecretLine() {
  // Only a terminal echoes; a pipe never shows anything.
  termios saved{};
  const int fd = sources_.front().fd;
  const bool terminal = ::isatty(fd) && ::tcgetattr(fd, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  auto line = readLine();
  if (terminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
  return line;
}

std::optional<std::string> FrontEnd::ask(const std::string& prompt, const std::vector<std::string>& answers) {
  std::string choices;
  for (const auto& answer : answers) choices += (choices.empty() ? "" : " / ") + answer;
  say(prompt + " [" + choices + "]");
  for (;;) {
    const auto line = readLine();
    if (!line) return std::nullopt;
    if (std::find(answers.begin(), answers.end(), *line) != answers.end()) return line;
    say("「" + *line + "」はここでは使えません。次のどれかを入力してください: " + choices);
  }
}

void FrontEnd::attach(SimApplication& application) {
  for (auto& source : sources_) {
    const int fd = source.fd;
    application.watchInput(fd, [this, fd, &application] {
      auto it = std::find_if(sources_.begin(), sources_.end(), [&](const Source& s) { return s.fd == fd; });
      // An ended input would poll as readable for ever.
      if (it != sources_.end() && !fill(*it)) application.unwatchInput(fd);
      dispatchBufferedLines();
    });
  }
  // Lines already read but not yet handled, for instance several that arrived in one read; a
  // negative descriptor is never polled, only asked.
  application.watchInput(
      -1, [this] { dispatchBufferedLines(); },
      [this] {
        return std::any_of(sources_.begin(), sources_.end(), [](const Source& s) {
          return s.buffer.find('\n') != std::string::npos || (s.ended && !s.buffer.empty());
        });
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
  if (pendingAnswer_ &&
      std::find(pendingAnswers_.begin(), pendingAnswers_.end(), *line) != pendingAnswers_.end()) {
    auto answer = std::move(pendingAnswer_);
    pendingAnswer_ = nullptr;
    pendingAnswers_.clear();
    answer(*line);
    return;
  }
  if (handler_) {
    handler_(*line);
  } else {
    say("「" + *line + "」は今は使えません。");
  }
}

}  // namespace corvel::sim
