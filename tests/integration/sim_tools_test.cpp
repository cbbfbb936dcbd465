// The simulated Mac's caffeinate, pmset, sudo and sysadminctl, run as real child processes in the
// forms Corvel uses them, and where the simulated Mac lies when nothing names it.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <pwd.h>
#include <regex>
#include <sys/stat.h>
#include <thread>

#include "adapters/posix/process_runner_posix.h"
#include "main/engine/caffeinate_supervisor.h"
#include "sim/assertions.h"
#include "sim/machine_sim.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {

using test::Unhurried;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;
using ::testing::PrintToString;

void expectResult(const ProcessResult& result, int exitCode, const std::string& output) {
  EXPECT_EQ(std::pair(result.exitCode, result.output), std::pair(exitCode, output));
}

ProcessResult runTool(const std::string& tool, const Args& args, const std::optional<std::string>& input = {}) {
  PosixProcessRunner runner;
  const std::string path = test::simTool(tool).string();
  return input ? runner.runWithInput(path, args, *input, Unhurried) : runner.run(path, args, Unhurried);
}

// Runs the tool behind `wrapper`: env(1) to change the environment, or sh -c to redirect or feed it.
ProcessResult runWrapped(const std::string& wrapper, Args wrapperArgs, const std::string& tool, const Args& args) {
  wrapperArgs.push_back(test::simTool(tool).string());
  wrapperArgs.insert(wrapperArgs.end(), args.begin(), args.end());
  return PosixProcessRunner().run(wrapper, wrapperArgs, Unhurried);
}
const Args AsRoot = {"CORVEL_SIM_PRIVILEGED=1"};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

// "ME" in a drop-in's text stands for the current user.
struct DropIn {
  std::string name;
  std::string text;
  fs::perms mode = static_cast<fs::perms>(0440);
};
const std::string CorvelRule =
    "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1\n";

class SimTool : public test::SimRootTest {
 protected:
  fs::path assertion(pid_t pid) { return sim::assertionFile(root(), pid); }
  fs::path folder() { return root() / "etc" / "sudoers.d"; }
  void install(const std::vector<DropIn>& dropIns) {
    for (const auto& entry : fs::directory_iterator(folder())) fs::remove(entry.path());
    fs::remove(root() / "mac" / "disablesleep");
    for (const auto& dropIn : dropIns) {
      std::ofstream(folder() / dropIn.name) << replaced(dropIn.text, "ME", ::getpwuid(::getuid())->pw_name);
      fs::permissions(folder() / dropIn.name, dropIn.mode);
    }
  }
};

// A holder that spins would cost the Mac what Corvel is there to save. However it ends, its assertion
// goes: on SIGTERM it cleans up itself; after SIGKILL its file counts for nothing, even while the
// holder lingers unreaped as a zombie that kill(pid, 0) still finds.
TEST_F(SimTool, CaffeinateHoldsItsAssertionIdlyAndReleasesItHoweverItEnds) {
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    auto caffeinate = PosixProcessRunner().launch(test::simTool("caffeinate"), CaffeinateArguments);
    ASSERT_TRUE(caffeinate);
    const pid_t pid = caffeinate->pid();
    ASSERT_TRUE(test::eventually([&] { return fs::exists(assertion(pid)); }));
    EXPECT_EQ(sim::readFile(assertion(pid)), "-d -i -m -s\nmachine=" + sim::machineIdentity(root()).value() + "\n");
    EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{pid});
    std::this_thread::sleep_for(300ms);
    long long cpuTime = -1;  // in nanoseconds; none when it cannot be read, which fails the check
    std::ifstream("/proc/" + std::to_string(pid) + "/schedstat") >> cpuTime;
    EXPECT_TRUE(cpuTime >= 0 && std::chrono::nanoseconds(cpuTime) < 100ms) << cpuTime;
    ::kill(pid, signal);
    ASSERT_TRUE(test::eventually([&] { return !sim::processIsAlive(pid); }));
    EXPECT_EQ(fs::exists(assertion(pid)), signal == SIGKILL);
    EXPECT_EQ(sim::liveAssertions(root()), std::vector<pid_t>{});
    EXPECT_FALSE(fs::exists(assertion(pid)));
  }
}

TEST_F(SimTool, PmsetChangesSleepOnlyAsRootInCorvelsFormAndShowsTheValue) {
  const Args set1 = {"-a", "disablesleep", "1"};
  // The environment, the arguments, and the complaint (null: accepted).
  const std::tuple<Args, Args, const char*> cases[] = {
      {AsRoot, set1, nullptr},
      {AsRoot, {"-a", "disablesleep", "0"}, nullptr},
      {{"-u", "CORVEL_SIM_PRIVILEGED"}, set1, "'/usr/bin/pmset' must be run as root"},
      {{"CORVEL_SIM_PRIVILEGED=0"}, set1, "must be run as root"},
      {AsRoot, {"-a", "disablesleep", "2"}, "Usage: pmset"},
      {AsRoot, {"-a", "sleep", "1"}, "Usage: pmset"},
  };
  std::string stored;
  for (const auto& [environment, args, complaint] : cases) {
    SCOPED_TRACE(PrintToString(environment) + " " + PrintToString(args));
    const auto result = runWrapped("/usr/bin/env", environment, "pmset", args);
    EXPECT_EQ(std::pair(result.exitCode == 0, result.output.empty()), std::pair(!complaint, !complaint));
    EXPECT_THAT(result.output, ::testing::HasSubstr(complaint ? complaint : ""));
    if (!complaint) stored = args.back();
    EXPECT_THAT(
        runTool("pmset", {"-g"}).output,
        ::testing::StartsWith("System-wide power settings:\n SleepDisabled\t\t" + stored + "\nCurrently in use:\n"));
  }
}

// The machine's files as Corvel reads them and as pmset -g batt shows the battery. A value that does
// not read, or a name that is there but cannot be read, is nothing known, never the default.
TEST_F(SimTool, TheMachinesConditionReadsFromItsFilesAndPmsetShowsTheBattery) {
  const std::string dangling = "->";
  // The battery, thermal and lid files (null: absent), what they read as, and what pmset -g batt shows
  // after "Now drawing from '" (null: none readable).
  const std::tuple<const char*, const char*, const char*, std::optional<BatteryReading>, std::optional<ThermalState>,
                   std::optional<bool>, const char*>
      rows[] = {
          {nullptr, nullptr, nullptr, std::nullopt, ThermalState::nominal, false, "AC Power'\n"},
          {"85 battery", "fair", "closed", BatteryReading{85, true}, ThermalState::fair, true,
           "Battery Power'\n -InternalBattery-0 (id=9896035)\t85%; discharging; (no estimate) present: true\n"},
          {"100 ac", "serious", "open", BatteryReading{100, false}, ThermalState::serious, false,
           "AC Power'\n -InternalBattery-0 (id=9896035)\t100%; charged; 0:00 remaining present: true\n"},
          {"0 ac", "critical", "closed", BatteryReading{0, false}, ThermalState::critical, true,
           "AC Power'\n -InternalBattery-0 (id=9896035)\t0%; charging; (no estimate) present: true\n"},
          {"7 battery", "nominal", "open", BatteryReading{7, true}, ThermalState::nominal, false,
           "Battery Power'\n -InternalBattery-0 (id=9896035)\t7%; discharging; (no estimate) present: true\n"},
          {"101 ac", "hot", "ajar", std::nullopt, std::nullopt, std::nullopt, nullptr},
          {"85", "Nominal", "", std::nullopt, std::nullopt, std::nullopt, nullptr},
          {"85 AC", "", "Closed", std::nullopt, std::nullopt, std::nullopt, nullptr},
          {"-1 ac", dangling.c_str(), dangling.c_str(), std::nullopt, std::nullopt, std::nullopt, nullptr},
          {dangling.c_str(), nullptr, nullptr, std::nullopt, ThermalState::nominal, false, nullptr},
      };
  for (const auto& [battery, thermal, lid, reading, thermalState, lidClosed, shown] : rows) {
    SCOPED_TRACE(std::string(battery ? battery : "-") + " " + (thermal ? thermal : "-"));
    for (const auto& [name, text] : {std::pair{"battery", battery}, {"thermal", thermal}, {"lid", lid}}) {
      fs::remove(root() / "mac" / name);
      if (text && text == dangling) fs::create_symlink(root() / "nowhere", root() / "mac" / name);
      if (text && text != dangling) setMacValue(name, text);
    }
    sim::SimMachine machine(root());
    EXPECT_EQ(std::tuple(machine.battery(), machine.thermalState(), machine.lidClosed()),
              std::tuple(reading, thermalState, lidClosed))
        << "(battery, thermal, lid)";
    expectResult(runTool("pmset", {"-g", "batt"}), shown ? 0 : 1,
                 shown ? "Now drawing from '" + std::string(shown) : "No power source info available\n");
  }
}

// As the console user may on a Mac, Corvel puts it to sleep without root; while sleep is disabled
// the kernel refuses, and nothing is recorded.
TEST_F(SimTool, PmsetSleepsNowWithoutRootUnlessSleepIsDisabled) {
  for (const char* disabled : {"0", "1", "0"}) {
    setMacValue("disablesleep", disabled);
    expectResult(runWrapped("/usr/bin/env", {"-u", sim::PrivilegedVariable}, "pmset", {"sleepnow"}),
                 *disabled == '1' ? 71 : 0,
                 *disabled == '1' ? "Unable to sleep system: error 0xe00002e2\n" : "Sleeping now...\n");
  }
  const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)";
  EXPECT_TRUE(std::regex_match(macValue("slept"), std::regex(stamp + "\n" + stamp))) << macValue("slept");
}

// A sudo that waited for a password would take the line meant for whoever reads after it; -l must
// answer without running anything, or even making a missing sim root.
TEST_F(SimTool, SudoRunsCorvelsCommandOnlyUnderASoundRuleAndNeverReadsItsInput) {
  const std::string NoPassword = "sudo: a password is required\n", listed = "/usr/bin/pmset -a disablesleep 1\n";
  const std::string usage = "sudo: this simulated sudo only runs: sudo -n|-S [-k] <absolute command> [argument ...] or "
                            "sudo -n [-k] -l <absolute command> [argument ...]\n";
  const std::vector<DropIn> corvels = {{"c", CorvelRule}};
  const fs::path absent = root() / "absent";
  const struct {
    const char* what;
    std::vector<DropIn> dropIns;
    std::string said;  // before "exit <status>"; "@" stands for the sudoers.d folder, "GID" for its group
    int exitStatus = 1;
    const char* value = "1";  // the command is /usr/bin/pmset -a disablesleep <value>
    Args options = {"-n"};
    std::string environment = "CORVEL_SIM_PRIVILEGED=";
  } cases[] = {
      {"Corvel's rule, 0", corvels, "", 0, "0"},
      {"Corvel's rule, 1", corvels, "", 0},
      {"another user", {{"c", "someone-else ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 1"}}, NoPassword},
      {"another argument", {{"c", "ME ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0"}}, NoPassword},
      {"name with a dot", {{"corvel-first.last", CorvelRule}}, NoPassword},
      {"name ending in ~", {{"corvel~", CorvelRule}}, NoPassword},
      {"password needed", {{"c", "ME ALL = (root) /usr/bin/pmset -a disablesleep 1"}}, NoPassword},
      {"later PASSWD wins",
       {{"a", CorvelRule}, {"b", "ME ALL = (root) PASSWD: /usr/bin/pmset -a disablesleep 1"}},
       NoPassword},
      // Anything unsafe or broken makes sudo refuse everything.
      {"a broken neighbour", {{"c", CorvelRule}, {"d", "ME ALL = = ALL"}}, "sudo: parse error in @/d near line 1\n"},
      {"group writable", {{"c", CorvelRule, fs::perms(0460)}}, "sudo: @/c is owned by gid GID, should be 0\n"},
      {"world writable", {{"c", CorvelRule, fs::perms(0446)}}, "sudo: @/c is world writable\n"},
      {"no rule", {}, NoPassword},
      {"listed", corvels, listed, 0, "1", {"-n", "-l"}},
      {"not listed", {}, "", 1, "1", {"-n", "-l"}},
      {"listed for root, who needs no rule", {}, listed, 0, "1", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=1"},
      {"listed on no Mac", corvels, "", 1, "1", {"-n", "-l"}, "CORVEL_SIM_ROOT=" + absent.string()},
      {"listed without -n", corvels, usage, 1, "1", {"-l"}},
      {"neither -n nor -S", corvels, usage, 1, "1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    install(c.dropIns);
    struct stat info {};
    ::stat(folder().c_str(), &info);  // a new file takes the folder's group
    const auto said = replaced(replaced(c.said, "@", folder().string()), "GID", std::to_string(info.st_gid));
    Args args = c.options;
    args.insert(args.end(), {"/usr/bin/pmset", "-a", "disablesleep", c.value});
    const Args shell = {"-c", "printf 'unread\\n' | { env \"$0\" \"$@\"; echo \"exit $?\"; cat; }", c.environment};
    EXPECT_EQ(runWrapped("/bin/sh", shell, "sudo", args).output,
              said + "exit " + std::to_string(c.exitStatus) + "\nunread\n");
    const bool ran = c.exitStatus == 0 && std::ranges::find(c.options, "-l") == c.options.end();
    EXPECT_EQ(macValue("disablesleep"), ran ? c.value : "");
  }
  EXPECT_FALSE(fs::exists(absent));
  install({{"c", "ME ALL = (root) NOPASSWD: /bin/sh"}});
  expectResult(runTool("sudo", {"-n", "/bin/sh", "-c", "echo \"$CORVEL_SIM_PRIVILEGED\"; exit 7"}), 7, "1\n");
}

// A password given once leaves a ticket that later runs and listings honour, unless -k; a listing
// that honoured it would show a rule that needs a password as if it needed none.
TEST_F(SimTool, SudoHonoursATicketLeftByAPasswordUnlessToldToIgnoreIt) {
  install({{"c", "ME ALL = (ALL) ALL"}});
  const auto sudo = [&](Args options, const std::optional<std::string>& input = {}) {
    options.insert(options.end(), {"/usr/bin/pmset", "-a", "disablesleep", "1"});
    return runTool("sudo", options, input);
  };
  const std::string required = "sudo: a password is required\n", wrong = "sudo: 1 incorrect password attempt\n";
  expectResult(sudo({"-n", "-l"}), 1, "");
  expectResult(sudo({"-S"}, "wrong\n"), 1, wrong);
  expectResult(sudo({"-S", "-k"}, "corvel\n"), 0, "");  // runs, but leaves no ticket
  expectResult(sudo({"-n"}), 1, required);
  setMacValue("disablesleep", "0");
  expectResult(sudo({"-S"}, "corvel\nleft for the command\n"), 0, "");
  EXPECT_EQ(macValue("disablesleep"), "1");
  expectResult(sudo({"-n", "-l"}), 0, "/usr/bin/pmset -a disablesleep 1\n");
  expectResult(sudo({"-k", "-n", "-l"}), 1, "");
  expectResult(sudo({"-n"}), 0, "");
  expectResult(sudo({"-n", "-k"}), 1, required);
  // A ticket from long ago, or not a time at all, counts for nothing.
  for (const std::string stale : {"1\n", "later\n"}) {
    std::ofstream(root() / "var/db/sudo/ts" / ::getpwuid(::getuid())->pw_name) << stale;
    expectResult(sudo({"-n", "-l"}), 1, "");
  }
}

// Corvel reads the setting back from the status line, which comes on standard error behind a log prefix.
TEST_F(SimTool, SysadminctlChangesTheScreenLockOnlyWithTheLoginPasswordAndAValidValue) {
  const auto set = [](const char* value) { return Args{"-screenLock", value, "-password", "-"}; };
  const std::string unchanged = "screenLock delay is 60 seconds";
  // The arguments, what is typed, and the status shown after (`unchanged`: refused).
  const std::tuple<Args, std::string, std::string> cases[] = {
      {set("off"), "corvel\n", "screenLock is off"},
      {set("300"), "corvel", "screenLock delay is 300 seconds"},
      {set("0"), "corvel\n", "screenLock delay is immediate"},
      {set("007"), "corvel\nnext\n", "screenLock delay is 7 seconds"},
      {set("off"), "wrong\n", unchanged},
      {set("off"), "corvel\r\n", unchanged},
      {set("off"), "", unchanged},
      {{"-screenLock", "off"}, "corvel\n", unchanged},
      {set("-5"), "corvel\n", unchanged},
      {set("99999999999"), "corvel\n", unchanged},
      {{"-screenLock", "off", "-screenLock", "immediate"}, "", unchanged},
  };
  const std::string logPrefix = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} sysadminctl\[\d+:\d+\] )";
  for (const auto& [args, input, shown] : cases) {
    SCOPED_TRACE(PrintToString(args) + " <<< " + input);
    setMacValue("screenlock", "60");
    const auto result = runTool("sysadminctl", args, input);
    EXPECT_EQ(result.exitCode == 0, shown != unchanged) << result.output;
    const auto status =
        runWrapped("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>&1 >/dev/null"}, "sysadminctl", {"-screenLock", "status"});
    EXPECT_TRUE(status.exitCode == 0 && std::regex_match(status.output, std::regex(logPrefix + shown + "\n")))
        << status.output;
  }
}

// Whatever follows -password is hidden, even where a misplaced argument puts the password later.
TEST_F(SimTool, SysadminctlRecordsEveryCallButNeverThePassword) {
  runTool("sysadminctl", {"-screenLock", "off", "-password", "hunter2"});
  runTool("sysadminctl", {"-screenLock", "-password", "-password", "hunter2"});
  EXPECT_EQ(sim::readFile(root() / "mac" / "sysadminctl-calls"),
            "-screenLock off -password <redacted>\n-screenLock -password <redacted> <redacted>\n");
}

// Without HOME the fallback must not be a world-writable folder where others can plant files.
TEST(SimRootFolder, WithoutHomeItLiesInTheAccountsHomeFolder) {
  std::vector<std::pair<std::string, std::string>> saved;
  for (const char* name : {"CORVEL_SIM_ROOT", "XDG_STATE_HOME", "HOME"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    ::unsetenv(name);
  }
  EXPECT_EQ(sim::rootFolder(), fs::path(::getpwuid(::getuid())->pw_dir) / ".local/state/corvel-sim");
  for (const auto& [name, value] : saved) ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace
}  // namespace corvel
