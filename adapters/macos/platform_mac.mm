// Wires a program to the Mac: Mac adapters for the system's services, posix ones for processes,
// time, the environment and files.
#include "adapters_mac.h"
#include "ports/platform.h"
#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"

namespace corvel {
namespace {

class MacPlatformServices final : public PlatformServices {
 public:
  explicit MacPlatformServices(std::vector<std::string> arguments)
      : environment_(std::move(arguments)),
        // Before the others: it creates the shared application object (NSApp) several of them use.
        application_(mac::makeApplication()),
        defaults_(mac::makeSettingsStore()),
        statusBar_(mac::makeStatusBar()),
        administratorScript_(mac::makeAdministratorScript()),
        session_(mac::makeSession()),
        alerts_(mac::makeAlerts()),
        biometrics_(mac::makeBiometrics()),
        directory_(mac::makeDirectory()),
        dockTile_(mac::makeDockTile()),
        agents_(mac::makeAgentServices()),
        machine_(mac::makeMachine()),
        notifications_(mac::makeNotifications()),
        platform_{.defaults = *defaults_,
                  .application = *application_,
                  .processes = processes_,
                  .clock = clock_,
                  .environment = environment_,
                  .files = files_,
                  .statusBar = *statusBar_,
                  .administratorScript = *administratorScript_,
                  .session = *session_,
                  .alerts = *alerts_,
                  .biometrics = *biometrics_,
                  .directory = *directory_,
                  .dockTile = *dockTile_,
                  .agents = *agents_,
                  .machine = *machine_,
                  .notifications = *notifications_,
                  .tools = macToolPaths()} {}

  Platform& platform() override { return platform_; }

 private:
  PosixProcessRunner processes_;
  PosixClock clock_;
  PosixProcessEnvironment environment_;
  PosixFileSystem files_;
  std::unique_ptr<Application> application_;
  std::unique_ptr<SettingsStore> defaults_;
  std::unique_ptr<StatusBar> statusBar_;
  std::unique_ptr<AdministratorScript> administratorScript_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Alerts> alerts_;
  std::unique_ptr<Biometrics> biometrics_;
  std::unique_ptr<Directory> directory_;
  std::unique_ptr<DockTile> dockTile_;
  std::unique_ptr<AgentServices> agents_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<Notifications> notifications_;
  Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformServices> makePlatformServices(std::vector<std::string> arguments) {
  return std::make_unique<MacPlatformServices>(std::move(arguments));
}

}  // namespace corvel
