// Port: the process's argument vector and environment, and facts about the current account.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

class ProcessEnvironment {
 public:
  virtual ~ProcessEnvironment() = default;
  // The whole argument vector, the program path first.
  virtual const std::vector<std::string>& arguments() const = 0;
  // Read afresh at every call.
  virtual std::optional<std::string> variable(std::string_view name) const = 0;
  // The short name of the account running the process.
  virtual std::string userName() const = 0;
};

}  // namespace corvel
