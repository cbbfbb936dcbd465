// Corvel --settings, --set and --extend end to end, on the simulated Mac's defaults file.
#include <fstream>

#include "main/safety/guard_settings.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

// Corvel with `arguments`, its exit status checked; what it printed.
std::string corvel(const std::vector<std::string>& arguments, int exitStatus,
                   const std::map<std::string, std::string>& environment = {}) {
  test::ProgramProcess program(test::binFolder() / "Corvel", arguments, environment);
  EXPECT_EQ(program.waitForExit(), exitStatus) << program.transcript();
  return program.transcript();
}

class SettingsEndToEnd : public test::SimRootTest {};

TEST_F(SettingsEndToEnd, RefusalsLeaveTheDefaultsByteForByteAndWhatIsSetReadsBackAndRuns) {
  const fs::path file = root() / "Library/Preferences/app.corvel.Corvel.json";
  const std::string stored = "{\"ProtectionEnabled\": true,\n \"SafetyRepair\": \"on\"}";
  std::ofstream(file) << stored;
  const std::vector<std::string> refused[] = {
      {"--set", "battery-floor", "150"}, {"--set", "repair"}, {"--set", "repair", "on", "x"}, {"--extend", "2h"}};
  for (const auto& arguments : refused) {
    const std::string said = corvel(arguments, arguments[0] == "--extend" ? 1 : 64);
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    EXPECT_EQ(sim::readFile(file), stored) << said;
  }
  EXPECT_EQ(corvel({"--set", "battery-floor", "20"}, 0), "battery-floor を 20 にしました\n");
  EXPECT_EQ(corvel({"--settings", "--json"}, 0),
            R"({"battery-floor":{"value":"20","default":false},"time-limit":{"value":"off","default":true},)"
            R"("thermal-stop":{"value":"on","default":true},"repair":{"value":"on","default":false}})"
            "\n");
  // With protection on, the limit runs from the moment it is set, and an extension moves its end.
  corvel({"--set", "time-limit", "1h"}, 0);
  const auto deadline = parseIsoTime(defaults().value("ProtectionDeadline", "")).value();
  const std::string moved = isoTime(deadline + std::chrono::hours(2));
  EXPECT_EQ(corvel({"--extend", "2h"}, 0), "保護の終了予定を " + moved + " に延ばしました\n");
  // A Mac that is not there is not made for a setting.
  const fs::path missing = root() / "missing";
  EXPECT_EQ(corvel({"--set", "repair", "on"}, 1, {{"CORVEL_SIM_ROOT", missing.string()}}),
            "Corvel: there is no simulated Mac at " + missing.string() + "; open Corvel there once to make it\n");
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace corvel
