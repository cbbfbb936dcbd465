// The simulated workspace: Corvel runs while a live Corvel process serves the same sim root; it is
// installed beside the watchdog; opening it starts it detached, without a terminal.
#pragma once

#include <filesystem>

#include "ports/workspace.h"

namespace corvel::sim {

class SimWorkspace final : public Workspace {
 public:
  SimWorkspace(std::filesystem::path root, std::filesystem::path applicationsFolder)
      : root_(std::move(root)), applicationsFolder_(std::move(applicationsFolder)) {}
  bool isApplicationRunning(const std::string& bundleIdentifier) override;
  std::optional<std::string> applicationLocation(const std::string& bundleIdentifier) override;
  void openApplication(const std::string& location, const std::vector<std::string>& arguments,
                       bool activates) override;

 private:
  std::filesystem::path root_;
  std::filesystem::path applicationsFolder_;
};

// The claim a running Corvel holds on its sim root, so that one Corvel serves one simulated Mac.
// Held as a write lock on corvel.pid for the life of the process (the descriptor stays open).
bool claimRootForCorvel(const std::filesystem::path& root);
// Whether some live process holds that claim; asking takes no lock, so it never disturbs a Corvel
// that is starting at the same moment.
bool isRootClaimed(const std::filesystem::path& root);

}  // namespace corvel::sim
