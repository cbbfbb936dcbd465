// Wires a program to the simulated Mac: sim adapters where the Mac is simulated, posix ones where
// the system is real either way.
#include <climits>
#include <unistd.h>

#include "corvel/build_config.h"
#include "platform/platform.h"
#include "platform/posix/process_runner_posix.h"
#include "platform/posix/system_posix.h"
#include "application_sim.h"
#include "front_end.h"
#include "settings_store_sim.h"
#include "sim_root.h"
#include "status_bar_sim.h"
#include "system_sim.h"

namespace corvel {
namespace {

// The sim tools are built into "sim/" beside the program.
std::string simToolFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "sim";
  return std::filesystem::path(std::string(path, static_cast<std::size_t>(n))).parent_path() / "sim";
}

class SimPlatformServices final : public PlatformServices {
 public:
  explicit SimPlatformServices(std::vector<std::string> arguments)
      : root_(initializedRoot()),
        defaults_(root_, AppBundleIdentifier),
        environment_(std::move(arguments)),
        files_(root_, realFiles_),
        frontEnd_(STDIN_FILENO, STDOUT_FILENO),
        administratorScript_(root_, frontEnd_, processes_),
        session_(root_),
        platform_{defaults_, application_, processes_, clock_,   environment_,
                  files_,    statusBar_,   administratorScript_, session_, toolPaths()} {}

  Platform& platform() override { return platform_; }

 private:
  static std::filesystem::path initializedRoot() {
    auto root = sim::rootFolder();
    sim::ensureInitialized(root);
    return root;
  }
  static ToolPaths toolPaths() {
    const std::string folder = simToolFolder();
    return {folder + "/caffeinate", folder + "/sudo", folder + "/pmset", folder + "/sysadminctl"};
  }

  std::filesystem::path root_;
  sim::JsonSettingsStore defaults_;
  sim::SimApplication application_;
  PosixProcessRunner processes_;
  PosixClock clock_;
  PosixProcessEnvironment environment_;
  PosixFileSystem realFiles_;
  sim::SimFileSystem files_;
  sim::SimStatusBar statusBar_;
  sim::FrontEnd frontEnd_;
  sim::SimAdministratorScript administratorScript_;
  sim::SimSession session_;
  Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformServices> makePlatformServices(std::vector<std::string> arguments) {
  return std::make_unique<SimPlatformServices>(std::move(arguments));
}

}  // namespace corvel
