// CorvelWatchdog's checking loop over a fake workspace.
#include <gtest/gtest.h>

#include "watchdog/watchdog.h"

namespace corvel {
namespace {

class FakeWorkspace final : public Workspace {
 public:
  bool isApplicationRunning(const std::string& bundleIdentifier) override {
    log.push_back("running? " + bundleIdentifier);
    return running;
  }
  std::optional<std::string> applicationLocation(const std::string& bundleIdentifier) override {
    log.push_back("where? " + bundleIdentifier);
    return location;
  }
  void openApplication(const std::string& at, const std::vector<std::string>& arguments, bool activates) override {
    std::string line = "open " + at;
    for (const auto& a : arguments) line += " " + a;
    log.push_back(line + (activates ? " (activate)" : " (background)"));
  }
  bool running = false;
  std::optional<std::string> location = "/Applications/Corvel.app";
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(WatchdogTest, OneCheck) {
  struct Row {
    const char* name;
    bool running;
    std::optional<std::string> location;
    Log expected;
  };
  const Row table[] = {
      {"running: nothing to do", true, "/Applications/Corvel.app", {"running? app.corvel.Corvel"}},
      {"stopped: opened in the background with the one argument", false, "/Applications/Corvel.app",
       {"running? app.corvel.Corvel", "where? app.corvel.Corvel",
        "open /Applications/Corvel.app --watchdog-launch (background)"}},
      {"not installed: nothing can be opened", false, std::nullopt,
       {"running? app.corvel.Corvel", "where? app.corvel.Corvel"}},
  };
  for (const auto& row : table) {
    FakeWorkspace workspace;
    workspace.running = row.running;
    workspace.location = row.location;
    watchdog::launchMainAppIfNeeded(workspace, "app.corvel.Corvel");
    EXPECT_EQ(workspace.log, row.expected) << row.name;
  }
}

// A relaunch must not wait for the first interval, and a Corvel not found now may be installed later.
TEST(WatchdogTest, ChecksAtOnceThenAfterEachPauseForAsLongAsItRuns) {
  FakeWorkspace workspace;
  workspace.location = std::nullopt;
  int pauses = 0;
  watchdog::runChecks(
      workspace, "app.corvel.Corvel",
      [&](std::chrono::duration<double> pause) {
        EXPECT_EQ(workspace.log.size(), 2u * (pauses + 1)) << "a check comes before every pause";
        EXPECT_GT(pause.count(), 0);
        ++pauses;
      },
      [&] { return pauses < 3; });
  EXPECT_EQ(workspace.log.size(), 8u);
}

}  // namespace
}  // namespace corvel
