// The simulated workspace: Corvel runs while a live Corvel process serves the same sim root (and is
// taken to run while that cannot be told); it is installed beside the watchdog; opening it starts it
// detached, without a terminal.
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
  void openApplication(const std::string& location, const std::vector<std::string>& arguments, bool activates) override;

 private:
  std::filesystem::path root_;
  std::filesystem::path applicationsFolder_;
};

// The claims that make one Corvel, and one CorvelWatchdog, serve a simulated Mac: a write lock on
// corvel.pid (watchdog.pid) under the root, held for the life of the process (the descriptor stays
// open). A claim file that is no regular file of this user, or cannot be locked, leaves it unknown
// whether another holds it.
enum class Claim { free, taken, heldByAnother, unknown };

// Takes the claim for this process: taken, heldByAnother or unknown.
Claim claimRootForCorvel(const std::filesystem::path& root);
Claim claimRootForWatchdog(const std::filesystem::path& root);
// Whether a live process holds Corvel's claim: free, heldByAnother or unknown. Asking takes no lock,
// so it never disturbs a Corvel that is starting at the same moment.
Claim corvelClaim(const std::filesystem::path& root);

// The same claim on any lock file of the root, for its other one-per-machine processes, and the
// question whether a live process holds it.
Claim claimFile(const std::filesystem::path& file);
Claim claimOn(const std::filesystem::path& file);

}  // namespace corvel::sim
