// Corvel --status end to end: each state made on a simulated Mac, by Corvel itself or by hand, then
// read from outside; the reading must leave every file of the machine as it was.
#include <pwd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

#include "main/remote/limited_permission.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using Environment = std::map<std::string, std::string>;

// Every name under `folder` with its type, mode and, for a plain file, a digest of its bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const auto status = entry.symlink_status();
    const auto bytes = status.type() == fs::file_type::regular ? sim::readFile(entry.path()) : std::nullopt;
    files[fs::relative(entry.path(), folder)] = std::to_string(static_cast<int>(status.type())) + " " +
                                                std::to_string(static_cast<int>(status.permissions())) + " " +
                                                std::to_string(std::hash<std::string>()(bytes.value_or("")));
  }
  return files;
}

class StatusEndToEnd : public test::SimRootTest {
 protected:
  void TearDown() override { fs::remove_all(root().string() + "-bin"), test::SimRootTest::TearDown(); }
  // A copy of Corvel among stand-ins for its tools (it finds them beside itself): each records its
  // call in `calls` there and runs the sim's tool, unless `bodies` gives it a shell body of its own.
  fs::path corvelAmongStandIns(const std::map<std::string, std::string>& bodies = {}) {
    const fs::path bin = root().string() + "-bin";
    fs::create_directories(bin / "sim");
    fs::copy_file(test::binFolder() / "Corvel", bin / "Corvel", fs::copy_options::overwrite_existing);
    for (const std::string tool : {"caffeinate", "pmset", "sudo", "sysadminctl"}) {
      const std::string record = "echo \"" + tool + " $*\" >> '" + (bin / "calls").string() + "'\nexec '" +
                                 test::simTool(tool).string() + "' \"$@\"";
      std::ofstream(bin / "sim" / tool) << "#!/bin/sh\n" << (bodies.contains(tool) ? bodies.at(tool) : record) << "\n";
      fs::permissions(bin / "sim" / tool, fs::perms::owner_all);
    }
    return bin / "Corvel";
  }
  void store(const std::string& settings) {
    std::ofstream(root() / "Library/Preferences/app.corvel.Corvel.json") << settings;
  }
  // Corvel --status run apart, once the machine is quiet (a Corvel that has just changed its state
  // may still be drawing its Dock icon); it must leave the machine exactly as it found it.
  std::string ask(int exitStatus, std::vector<std::string> arguments, const Environment& environment = {},
                  const fs::path& program = test::binFolder() / "Corvel") {
    auto before = snapshot(root());
    for (int i = 0; i < 20 && (::usleep(300000), snapshot(root()) != before); ++i) before = snapshot(root());
    test::ProgramProcess status(program, arguments, environment);
    EXPECT_EQ(status.waitForExit(), exitStatus) << status.transcript();
    EXPECT_EQ(snapshot(root()), before);
    return status.transcript();
  }
  // The JSON line, checked for its documented keys in their order (what each may hold is the unit
  // tests' to pin), then for the values in `expected`, a JSON object.
  void expectStatus(int exitStatus, const std::string& expected, const Environment& environment = {},
                    const fs::path& program = test::binFolder() / "Corvel") {
    const std::string line = ask(exitStatus, {"--status", "--json"}, environment, program);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    const json j = json::parse(line, nullptr, false);
    std::string keys;
    for (const auto& item : j.items()) keys += item.key() + " ";
    EXPECT_EQ(keys, "verdict mode enabled corvelRunning caffeinatePid sleepDisabled screenLock previousScreenLock "
                    "screenLockDisabledByCorvel sessionLocked limitedPermission watchdog problems settings deadline "
                    "battery thermal lastSafetyStop repairs ");
    const json want = json::parse(expected);
    for (const auto& [key, value] : want.items()) EXPECT_EQ(j.value(key, json()), value) << key;
  }
};

TEST_F(StatusEndToEnd, CorvelOnInStandardIsProtectedAndDegradedOnceItsCaffeinateIsKilled) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  ASSERT_TRUE(test::eventually([&] { return sim::assertionHolders(root()).size() == 1; }));
  const pid_t holder = sim::assertionHolders(root()).at(0);
  expectStatus(0, R"({"verdict":"protected","mode":"standard","corvelRunning":true,"sessionLocked":false,)"
                  R"("problems":[],"caffeinatePid":)" +
                      std::to_string(holder) + "}");
  ::kill(holder, SIGKILL);
  ASSERT_TRUE(corvel->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << corvel->transcript();
  ASSERT_TRUE(fs::exists(sim::assertionFile(root(), holder)));  // the dead holder's file stays, read and all
  expectStatus(
      1, R"({"verdict":"degraded","caffeinatePid":null,"problems":["caffeinate is not holding the Mac awake."]})");
}

// Asking is only a question, as the system's own queries are: a Mac whose Corvel, watchdog, launchd
// and caffeinate were all killed is reported so, and nothing is started again by asking.
TEST_F(StatusEndToEnd, AskingAboutAMacWhoseProgramsWereAllKilledStartsNothing) {
  auto corvel = start({{"CORVEL_SKIP_SERVICE", ""}, {"CORVEL_NO_TOGGLE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  ASSERT_TRUE(test::eventually([&] {
    return !test::processesOf(root(), test::binFolder() / "CorvelWatchdog").empty() &&
           sim::assertionHolders(root()).size() == 1;
  }));
  ASSERT_TRUE(test::eventually([&] {
    for (const pid_t pid : test::processesOf(root())) ::kill(pid, SIGKILL);
    return corvel->waitForExit(std::chrono::milliseconds(50)) && test::processesOf(root()).empty();
  }));
  expectStatus(1, R"({"verdict":"degraded","enabled":true,"corvelRunning":false,"caffeinatePid":null,)"
                  R"("watchdog":"enabled"})");
  // Long enough for a watchdog started by the question to have relaunched Corvel.
  EXPECT_FALSE(test::eventually([&] { return !test::processesOf(root()).empty(); }, std::chrono::seconds(3)));
  EXPECT_TRUE(sim::assertionHolders(root()).empty());
}

// A copy of a Mac's folder carries the record of the caffeinate that holds the original awake, to
// the last detail but the machine: neither the question nor a Corvel on the copy takes charge of it.
TEST_F(StatusEndToEnd, ACopiedMacDoesNotTakeChargeOfTheOriginalsCaffeinate) {
  auto corvel = start({{"CORVEL_NO_TOGGLE", ""}});
  ASSERT_TRUE(corvel->waitFor("メニューバー: 🟢 スリープ防止 ON")) << corvel->transcript();
  ASSERT_TRUE(test::eventually([&] { return sim::assertionHolders(root()).size() == 1; }));
  const pid_t original = sim::assertionHolders(root()).at(0);
  ::kill(corvel->pid(), SIGKILL);
  corvel->waitForExit();
  const fs::path copy = root() / "copy";
  sim::ensureInitialized(copy);
  for (const fs::path& file : {fs::path("Library/Preferences/app.corvel.Corvel.json"), fs::path("mac/screenlock"),
                               fs::path("mac/assertions") / std::to_string(original)})
    fs::copy_file(root() / file, copy / file, fs::copy_options::overwrite_existing);
  expectStatus(1, R"({"verdict":"degraded","enabled":true,"caffeinatePid":null})",
               {{"CORVEL_SIM_ROOT", copy.string()}});
  test::ProgramProcess relaunched(test::binFolder() / "Corvel", {"--watchdog-launch"},
                                  {{"CORVEL_SIM_ROOT", copy.string()}, {"CORVEL_SKIP_SERVICE", "1"}});
  ASSERT_TRUE(relaunched.waitFor("メニューバー: 🟢 スリープ防止 ON")) << relaunched.transcript();
  EXPECT_TRUE(test::eventually([&] {
    const auto holders = sim::assertionHolders(copy);
    return holders.size() == 2 && std::find(holders.begin(), holders.end(), original) != holders.end();
  })) << "a caffeinate of its own beside the copied record";
  EXPECT_TRUE(sim::processIsAlive(original));
}

// A folder of the Mac that cannot be read is reported like any other unreadable thing, by the status
// check and by Corvel at launch alike, never with a crash. Run as an account that cannot override
// permissions: root hands the Mac to "nobody" and runs the programs as that account.
TEST_F(StatusEndToEnd, AnUnreadableLibraryFolderIsReportedNeverACrash) {
  // The folder made unreadable, Corvel's arguments, its exit status and the start of what it prints.
  const std::tuple<const char*, std::vector<std::string>, int, const char*> cases[] = {
      {"Library", {"--status", "--json"}, 1, R"({"verdict":"degraded","mode":null,)"},
      {"Library/LaunchAgents", {"--status", "--json"}, 2, R"({"verdict":"off","mode":"standard",)"},
      {"Library", {}, 1, "Corvel: the simulated Mac at "},
      {"Library/LaunchAgents", {}, 0, "メニューバー: ⚫ スリープ防止 OFF"},
  };
  const bool privileged = ::geteuid() == 0;
  for (const auto& [folder, corvelArguments, exitStatus, output] : cases) {
    SCOPED_TRACE(std::string(folder) + " " + (corvelArguments.empty() ? "launch" : corvelArguments[0]));
    const fs::path mac = root() / "mac-of-nobody";
    sim::ensureInitialized(mac);
    if (privileged) {
      for (const auto& entry : fs::recursive_directory_iterator(mac))
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
      ASSERT_EQ(::chown(mac.c_str(), 65534, 65534), 0);
      ASSERT_EQ(::chmod(root().c_str(), 0755), 0);
    }
    fs::permissions(mac / folder, fs::perms::none);
    // setpriv runs the program as "nobody"; without privileges it is run directly.
    const fs::path corvel = test::binFolder() / "Corvel";
    auto arguments = corvelArguments;
    if (privileged) arguments.insert(arguments.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", corvel});
    test::ProgramProcess program(
        privileged ? fs::path("/usr/bin/setpriv") : corvel, arguments,
        {{"CORVEL_SIM_ROOT", mac.string()}, {"CORVEL_SKIP_SERVICE", ""}, {"CORVEL_NO_TOGGLE", "1"}});
    if (corvelArguments.empty() && exitStatus == 0) {
      ASSERT_TRUE(program.waitFor(output)) << program.transcript();
      program.send("quit");
    }
    EXPECT_EQ(program.waitForExit(), exitStatus) << program.transcript();
    EXPECT_TRUE(program.transcript().starts_with(output)) << program.transcript();
    fs::permissions(mac / folder, fs::perms::owner_all);
    fs::remove_all(mac);
  }
}

// Each Mac is read by a copy of Corvel among recording stand-ins for its tools (it finds them beside
// itself), which shows every tool it starts, with its arguments. Exit statuses: 1 degraded, 2 off.
TEST_F(StatusEndToEnd, MacsLeftInEachStateAreJudgedWithTheThreeReadingToolsAlone) {
  const fs::path corvel = corvelAmongStandIns(), bin = corvel.parent_path();
  const std::string account = ::getpwuid(::getuid())->pw_name;
  const std::string corvelRule = *limitedSudoersRule(account), generalRule = account + " ALL = (ALL) ALL";
  // `stored` none: no Mac folder at all; a value "" removes mac/<name>. With `ticket`, the account
  // has just given its password to sudo, as in the terminal the check then runs in.
  const auto judge = [&](const std::string& name, const char* stored, const Environment& values,
                         const std::string& rule, int exitStatus, const std::string& expected, bool ticket = false) {
    SCOPED_TRACE(name);
    const fs::path simRoot = root() / name;
    if (stored) {
      sim::ensureInitialized(simRoot);
      std::ofstream(simRoot / "Library/Preferences/app.corvel.Corvel.json") << stored;
    }
    for (const auto& [key, value] : values)
      value.empty() ? void(fs::remove(simRoot / "mac" / key)) : sim::writeValue(simRoot, key, value);
    if (!rule.empty()) std::ofstream(simRoot / "etc/sudoers.d" / sudoersDropInName(account)) << rule << "\n";
    if (ticket) {
      test::ProgramProcess sudo("/bin/sh", {"-c", "echo corvel | \"$0\" -S /bin/true", test::simTool("sudo")},
                                {{"CORVEL_SIM_ROOT", simRoot.string()}});
      ASSERT_EQ(sudo.waitForExit(), 0) << sudo.transcript();
    }
    expectStatus(exitStatus, expected, {{"CORVEL_SIM_ROOT", simRoot.string()}}, corvel);
  };
  // As over SSH: no login session to ask.
  judge("lock-left-off", R"({"ProtectionMode":"standard","ProtectionEnabled":false,"PreviousScreenLockState":"300"})",
        {{"screenlock", "off"}, {"session-locked", ""}}, "", 1,
        R"({"sessionLocked":null,"problems":["The screen lock is still off although protection is off."]})");
  EXPECT_TRUE(
      ask(1, {"--status"}, {{"CORVEL_SIM_ROOT", (root() / "lock-left-off").string()}})
          .starts_with("判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n✗ 画面ロック設定：オフ"));
  judge("unparsable", R"({"ProtectionEnabled": tru)", {}, "", 1,
        R"({"mode":null,"enabled":null,"problems":["Corvel's settings cannot be read; they were left as they are."]})");
  judge(
      "remote-strong-sleep-reset",
      R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":true,"DidDisableScreenLock":true,"PreviousScreenLockState":"300"})",
      {{"screenlock", "off"}, {"disablesleep", "0"}}, corvelRule, 1,
      R"({"mode":"remoteStrong","limitedPermission":true,"sleepDisabled":false,"previousScreenLock":"300"})");
  judge("restored", R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":false})",
        {{"screenlock", "300"}, {"disablesleep", "0"}}, "", 2,
        R"({"corvelRunning":false,"limitedPermission":false,"screenLockDisabledByCorvel":false,"problems":[]})");
  // Killed during the restore, after the lock went back and before its record and the rule went.
  judge(
      "restore-killed",
      R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":false,"DidDisableScreenLock":true,"PreviousScreenLockState":"300"})",
      {{"screenlock", "300"}, {"disablesleep", "0"}}, corvelRule, 2,
      R"({"verdict":"off","limitedPermission":true,"problems":[]})");
  // Stopped by the guard: off, and the stop told; a deadline left behind runs no more.
  judge("safety-stop",
        R"({"ProtectionMode":"standard","ProtectionEnabled":false,"SafetyBatteryFloor":"20","SafetyRepair":"on",)"
        R"("SafetyTimeLimitMinutes":"60","ProtectionDeadline":"2026-12-07T15:00:00Z","LastSafetyStopReason":"battery",)"
        R"("LastSafetyStopAt":"2026-12-07T14:00:00Z","RepairCount":"2","LastRepairAt":"2026-12-07T13:00:00Z"})",
        {{"battery", "15 battery"}, {"thermal", "critical"}}, "", 2,
        R"({"verdict":"off","settings":{"batteryFloor":20,"timeLimitMinutes":60,"thermalStop":true,"repair":true},)"
        R"("deadline":null,"battery":{"percent":15,"source":"battery"},"thermal":"critical",)"
        R"("lastSafetyStop":{"reason":"battery","at":"2026-12-07T14:00:00Z"},)"
        R"("repairs":{"count":2,"last":"2026-12-07T13:00:00Z"},"problems":["The safety guard switched protection off )"
        R"(at 2026-12-07T14:00:00Z: the battery fell to its floor."]})");
  judge("general-rule-and-ticket", R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":false})", {}, generalRule, 2,
        R"({"verdict":"off","limitedPermission":false})", true);
  judge(
      "absent", nullptr, {}, "", 2,
      R"({"problems":["The Mac's folder )" + (root() / "absent").string() + R"( does not exist; nothing was read."]})");
  std::set<std::string> calls;
  std::istringstream recorded(sim::readFile(bin / "calls").value_or(""));
  for (std::string call; std::getline(recorded, call);) calls.insert(call);
  EXPECT_EQ(calls, (std::set<std::string>{"pmset -g", "sysadminctl -screenLock status",
                                          "sudo -n -k -l /usr/bin/pmset -a disablesleep 1"}));
}

TEST_F(StatusEndToEnd, ToolsThatNeverAnswerOrNeverStopWritingReadAsUnknown) {
  store(R"({"ProtectionMode":"standard","ProtectionEnabled":false})");
  const fs::path corvel = corvelAmongStandIns({{"pmset", "exec sleep 600"}, {"sysadminctl", "exec yes"}});
  expectStatus(
      1, R"({"sleepDisabled":null,"screenLock":"unknown","problems":["The system sleep switch cannot be read."]})", {},
      corvel);
  // A Mac folder that cannot be read, even by root: pmset's answer then holds no switch.
  fs::remove_all(root() / "mac");
  std::ofstream(root() / "mac") << "";
  expectStatus(1, R"({"sleepDisabled":null})");
}

// Protection stored on, but the sleep switch never answers: shown as off, and the menu still opens.
TEST_F(StatusEndToEnd, ARunningCorvelWhosePmsetNeverAnswersStaysResponsive) {
  store(R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":true})");
  test::ProgramProcess corvel(corvelAmongStandIns({{"pmset", "exec sleep 600"}}), {},
                              {{"CORVEL_SKIP_SERVICE", "1"}, {"CORVEL_NO_TOGGLE", "1"}});
  ASSERT_TRUE(corvel.waitFor("メニューバー: ⚫ スリープ防止 OFF")) << corvel.transcript();
  EXPECT_TRUE(test::play(corvel, {{"right-click", "メニュー:"}, {"close", ""}, {"right-click", "メニュー:"}}));
}

// Before anything is opened or read; a report that cannot be written is no verdict.
TEST_F(StatusEndToEnd, AMistypedSwitchOrAnUnwritableReportEndsInAStatusOfItsOwn) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--stauts"}, {"--json"}}) {
    const std::string said = ask(64, arguments);
    EXPECT_TRUE(said.starts_with("Corvel: ") && said.find('\n') == said.size() - 1) << said;
  }
  store(R"({"ProtectionMode":"standard","ProtectionEnabled":false})");
  for (const std::string redirect : {">/dev/full", ">&-"}) {
    test::ProgramProcess status("/bin/sh", {"-c", "exec \"$0\" --status " + redirect, test::binFolder() / "Corvel"},
                                {});
    EXPECT_EQ(status.waitForExit(), 1) << redirect;
  }
}

}  // namespace
}  // namespace corvel
