// Line input and output of the simulated front end.
#include "front_end.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace corvel::sim {

void FrontEnd::say(const std::string& line) {
  std::string text = line + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(outputFd_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody is listening any more; the program goes on regardless
    written += static_cast<std::size_t>(n);
  }
}

std::optional<std::string> FrontEnd::readLine() {
  for (;;) {
    if (const auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    char buffer[4096];
    const ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (pending_.empty()) return std::nullopt;
      std::string line;
      line.swap(pending_);
      return line;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
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

}  // namespace corvel::sim
