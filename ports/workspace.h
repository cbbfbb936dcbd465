// Port: the system's view of installed and running applications, and a way to open one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvel {

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Whether any instance of the application with `bundleIdentifier` runs for this user, not counting
  // the calling process itself.
  virtual bool isApplicationRunning(const std::string& bundleIdentifier) = 0;
  // Where the application with `bundleIdentifier` is installed, if the system knows it.
  virtual std::optional<std::string> applicationLocation(const std::string& bundleIdentifier) = 0;
  // Asks the system to start the application at `location` with `arguments`; returns at once, the
  // outcome is not reported.
  virtual void openApplication(const std::string& location, const std::vector<std::string>& arguments,
                               bool activates) = 0;
};

}  // namespace corvel
