// Wires a program to the simulated Mac: sim adapters where the Mac is simulated, posix ones where
// the system is real either way.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "corvel/build_config.h"
#include "ports/platform.h"
#include "adapters/posix/system_posix.h"
#include "agent_service_sim.h"
#include "application_sim.h"
#include "desktop.h"
#include "dialogs_sim.h"
#include "dock_tile_sim.h"
#include "front_end.h"
#include "machine_sim.h"
#include "process_runner_sim.h"
#include "settings_store_sim.h"
#include "sim_root.h"
#include "status_bar_sim.h"
#include "system_sim.h"
#include "workspace_sim.h"
#include "support/identity.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

// A Corvel that runs unattended for months must not fill the disk with what nobody reads: past
// this size the log is moved to corvel.log.1 (the one older copy kept) and begun afresh.
constexpr std::size_t MaxLogSize = std::size_t{1} << 20;

// A regular file, never reached through a link nor a pipe that would hold Corvel up; -1 otherwise.
int openLog(const fs::path& log, int extraFlags = 0) {
  struct stat info {};
  const int fd =
      ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | extraFlags, 0600);
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

int rotateLog(const fs::path& root) {
  const fs::path log = root / "corvel.log";
  // An old copy that cannot be replaced costs the log its older lines rather than its bound.
  const bool moved = ::rename(log.c_str(), (root / "corvel.log.1").c_str()) == 0;
  return openLog(log, moved ? 0 : O_TRUNC);
}

// Started without a terminal (as the watchdog starts it), the output goes to a log under the root.
int outputDescriptor(const fs::path& root) {
  struct stat info {};
  const bool usable = ::fstat(STDOUT_FILENO, &info) == 0 && !(S_ISCHR(info.st_mode) && !::isatty(STDOUT_FILENO));
  if (usable) return STDOUT_FILENO;
  const int fd = openLog(root / "corvel.log");
  return fd >= 0 ? fd : STDOUT_FILENO;
}

class SimPlatformServices final : public PlatformServices {
 public:
  SimPlatformServices(fs::path root, std::vector<std::string> arguments)
      : root_(std::move(root)),
        defaults_(root_, AppBundleIdentifier),
        processes_(root_),
        environment_(std::move(arguments)),
        files_(root_, realFiles_),
        output_(outputDescriptor(root_)),
        frontEnd_(STDIN_FILENO, output_),
        administratorScript_(root_, frontEnd_, processes_, toolPaths().pmset),
        session_(root_),
        alerts_(frontEnd_),
        biometrics_(root_, frontEnd_),
        directory_(root_),
        machine_(root_),
        notifications_(frontEnd_),
        dockTile_(root_ / "dock.png"),
        agents_(root_, sim::programFolder() / "CorvelWatchdog", processes_),
        desktop_(root_, frontEnd_, application_, statusBar_),
        platform_{.defaults = defaults_,
                  .application = application_,
                  .processes = processes_,
                  .clock = clock_,
                  .environment = environment_,
                  .files = files_,
                  .statusBar = statusBar_,
                  .administratorScript = administratorScript_,
                  .session = session_,
                  .alerts = alerts_,
                  .biometrics = biometrics_,
                  .directory = directory_,
                  .dockTile = dockTile_,
                  .agents = agents_,
                  .machine = machine_,
                  .notifications = notifications_,
                  .tools = toolPaths()} {
    // The screen may go away (a closed terminal, a reader that quit); that must not end Corvel. The
    // runner gives every child the default disposition back.
    std::signal(SIGPIPE, SIG_IGN);
    if (struct stat info{}; output_ != STDOUT_FILENO && ::fstat(output_, &info) == 0) {
      frontEnd_.limitOutput(MaxLogSize, static_cast<std::size_t>(info.st_size),
                            [root = root_] { return rotateLog(root); });
    }
    if (const int pipe = sim::openDesktopPipe(root_); pipe >= 0) {
      frontEnd_.addInput(
          pipe, [root = root_] { return sim::openDesktopPipe(root); },
          [root = root_](int fd) { return sim::desktopPipeReplaced(root, fd); });
    }
    frontEnd_.attach(application_);
    // The user's session is up: launchd runs what stays registered, whatever ended it before.
    agents_.startRegisteredAgents();
  }

  Platform& platform() override { return platform_; }

 private:
  static ToolPaths toolPaths() {
    const fs::path folder = sim::programFolder() / "sim";
    return {folder / "caffeinate", folder / "sudo", folder / "pmset", folder / "sysadminctl"};
  }

  fs::path root_;
  sim::JsonSettingsStore defaults_;
  sim::SimApplication application_;
  sim::SimProcessRunner processes_;
  PosixClock clock_;
  PosixProcessEnvironment environment_;
  PosixFileSystem realFiles_;
  sim::SimFileSystem files_;
  sim::SimStatusBar statusBar_;
  int output_;
  sim::FrontEnd frontEnd_;
  sim::SimAdministratorScript administratorScript_;
  sim::SimSession session_;
  sim::SimAlerts alerts_;
  sim::SimBiometrics biometrics_;
  sim::SimDirectory directory_;
  sim::SimMachine machine_;
  sim::SimNotifications notifications_;
  sim::SimDockTile dockTile_;
  sim::SimAgentServices agents_;
  sim::SimDesktop desktop_;
  Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformServices> makePlatformServices(std::vector<std::string> arguments) {
  // Nothing of the application exists yet: a root that cannot serve ends Corvel with one line.
  const auto fail = [](const std::string& why) {
    std::fputs(("Corvel: " + why + "\n").c_str(), stderr);
    std::exit(1);
  };
  fs::path root = sim::rootFolder();
  if (const auto refusal = sim::prepareRoot(root)) fail(*refusal);
  // One Corvel serves a simulated Mac, as the system runs one instance of an application. Opening
  // it again while it runs reaches the running one as a reopen, which is a click on its Dock tile.
  switch (sim::claimRootForCorvel(root)) {
    case sim::Claim::taken:
      break;
    case sim::Claim::heldByAnother:
      // The watchdog relaunches a Corvel that is gone; finding one, a click would switch its protection.
      if (std::find(arguments.begin(), arguments.end(), WatchdogLaunchArgument) != arguments.end()) std::exit(0);
      if (!sim::writeToDesktopPipe(root, "dock-click\n")) {
        fail("Corvel is already running on this simulated Mac, but its desktop pipe cannot be reached.");
      }
      std::fputs("Corvel is already running on this simulated Mac; it was opened again.\n", stderr);
      std::exit(0);
    default:
      // Carrying on could mean two Corvels on one Mac, and a watchdog that cannot tell either.
      fail("cannot tell whether another Corvel serves this simulated Mac: " + (root / "corvel.pid").string() +
           " is no file of this user that can be locked.");
  }
  try {
    return std::make_unique<SimPlatformServices>(root, std::move(arguments));
  } catch (const std::exception& error) {
    fail("the simulated Mac at " + root.string() + " cannot be prepared: " + error.what());
  }
  return nullptr;
}

}  // namespace corvel
