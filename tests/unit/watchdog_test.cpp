// CorvelWatchdog's checking loop over a fake workspace.
#include <gtest/gtest.h>
#include <tuple>

#include "watchdog/watchdog.h"

namespace corvel {
namespace {

using Log = std::vector<std::string>;

class FakeWorkspace final : public Workspace {
 public:
  bool isApplicationRunning(const std::string& id) override { return log.push_back("running? " + id), running; }
  std::optional<std::string> applicationLocation(const std::string& id) override {
    return log.push_back("where? " + id), location;
  }
  void openApplication(const std::string& at, const std::vector<std::string>& arguments, bool activates) override {
    std::string line = "open " + at;
    for (const auto& a : arguments) line += " " + a;
    log.push_back(line + (activates ? " (activate)" : " (background)"));
  }
  bool running = false;
  std::optional<std::string> location = "/Applications/Corvel.app";
  Log log;
};

TEST(WatchdogTest, OneCheckOpensAStoppedCorvelInTheBackgroundAsARelaunch) {
  const std::string running = "running? app.corvel.Corvel", where = "where? app.corvel.Corvel";
  const std::tuple<bool, std::optional<std::string>, Log> table[] = {
      {true, "/Applications/Corvel.app", {running}},
      {false,
       "/Applications/Corvel.app",
       {running, where, "open /Applications/Corvel.app --watchdog-launch (background)"}},
      {false, std::nullopt, {running, where}},  // not installed: nothing can be opened
  };
  for (const auto& [isRunning, location, expected] : table) {
    FakeWorkspace workspace;
    workspace.running = isRunning;
    workspace.location = location;
    watchdog::launchMainAppIfNeeded(workspace, "app.corvel.Corvel");
    EXPECT_EQ(workspace.log, expected);
  }
}

// A relaunch must not wait for the first pause, and a Corvel not found now may be installed later.
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
