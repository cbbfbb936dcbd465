// The core wired to the simulated Mac's real tools and adapters, in process, with the person at the
// screen played through a pipe the test writes answers into.
#pragma once

#include <string>

#include "fakes.h"
#include "adapters/posix/process_runner_posix.h"
#include "adapters/posix/system_posix.h"
#include "sim/application_sim.h"
#include "sim/dialogs_sim.h"
#include "sim/front_end.h"
#include "sim/settings_store_sim.h"
#include "sim/status_bar_sim.h"
#include "sim/system_sim.h"
#include "sim_root_fixture.h"

namespace corvel::test {

class SimMacPlatform {
 public:
  explicit SimMacPlatform(const std::filesystem::path& root);
  ~SimMacPlatform();
  SimMacPlatform(const SimMacPlatform&) = delete;
  SimMacPlatform& operator=(const SimMacPlatform&) = delete;

  // Queues lines for the dialogs and prompts, in the order they will be asked.
  void answer(const std::string& line);
  // What the front end has shown so far.
  std::string shown();

  struct Pipes {
    Pipes();
    ~Pipes();
    int answers[2] = {-1, -1};  // the test writes to [1]
    int screen[2] = {-1, -1};   // the front end writes to [1]
  };

  std::filesystem::path root;
  Pipes pipes;
  std::string output;
  sim::JsonSettingsStore defaults;
  sim::SimApplication application;
  PosixProcessRunner processes;
  PosixClock clock;
  PosixProcessEnvironment environment{{"Corvel"}};
  PosixFileSystem realFiles;
  sim::SimFileSystem files;
  sim::SimStatusBar statusBar;
  sim::FrontEnd frontEnd;
  sim::SimAdministratorScript administratorScript;
  sim::SimSession session;
  sim::SimAlerts alerts;
  sim::SimBiometrics biometrics;
  sim::SimDirectory directory;
  FakeDockTile dockTile;
  FakeAgentServices agents;
  Platform platform;
};

}  // namespace corvel::test
