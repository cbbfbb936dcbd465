// The simulated Mac's front end: one line-based protocol, in through a descriptor, out through
// another, through which a person or a script plays the user at the screen.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvel::sim {

class FrontEnd {
 public:
  FrontEnd(int inputFd, int outputFd) : inputFd_(inputFd), outputFd_(outputFd) {}
  virtual ~FrontEnd() = default;

  // One line of output, as it is; a line feed is added.
  void say(const std::string& line);
  // The next whole line of input (without its line feed); none at the end of input.
  std::optional<std::string> readLine();
  // Shows `prompt` and the accepted answers, and reads lines until one of them is given; a line
  // that is none of them gets a one-line explanation. None at the end of input.
  std::optional<std::string> ask(const std::string& prompt, const std::vector<std::string>& answers);

 private:
  int inputFd_;
  int outputFd_;
  std::string pending_;
};

}  // namespace corvel::sim
