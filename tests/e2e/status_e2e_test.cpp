// Corvel --status end to end: each state made on a simulated Mac of its own, by Corvel itself or by
// hand, then read from outside; the reading must leave every file of the machine as it was.
#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/remote/limited_permission.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using test::ProgramProcess;
using Environment = std::map<std::string, std::string>;

// Every name under `folder` with its type, mode and, for a plain file, its bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const auto status = entry.symlink_status();
    std::string& seen = files[fs::relative(entry.path(), folder)];
    seen = std::to_string(static_cast<int>(status.type())) + " " + std::to_string(static_cast<int>(status.permissions()));
    if (status.type() == fs::file_type::regular) {
      const auto bytes = sim::readFile(entry.path());
      seen += bytes ? " " + std::to_string(bytes->size()) + " bytes #" + std::to_string(std::hash<std::string>()(*bytes))
                    : " unreadable";
    }
  }
  return files;
}

// The keys, in order, and what each may hold.
void expectTheDocumentedShape(const json& j) {
  const auto is = [](const char* kinds, const json& v) {
    const std::string k = kinds;
    return (v.is_null() && k.find('n') != std::string::npos) || (v.is_boolean() && k.find('b') != std::string::npos) ||
           (v.is_number_integer() && k.find('i') != std::string::npos) ||
           (v.is_string() && k.find('s') != std::string::npos) || (v.is_array() && k.find('a') != std::string::npos);
  };
  const std::pair<const char*, const char*> keys[] = {
      {"verdict", "s"},         {"mode", "sn"},          {"enabled", "bn"},       {"corvelRunning", "bn"},
      {"caffeinatePid", "in"},  {"sleepDisabled", "bn"}, {"screenLock", "s"},     {"previousScreenLock", "sn"},
      {"screenLockDisabledByCorvel", "b"}, {"sessionLocked", "bn"}, {"limitedPermission", "b"}, {"watchdog", "sn"},
      {"problems", "a"}};
  ASSERT_TRUE(j.is_object()) << j;
  ASSERT_EQ(j.size(), std::size(keys)) << j;
  auto it = j.begin();
  for (const auto& [key, kinds] : keys) {
    EXPECT_EQ(it.key(), key);
    EXPECT_TRUE(is(kinds, it.value())) << key << ": " << it.value();
    ++it;
  }
  EXPECT_TRUE(std::all_of(j["problems"].begin(), j["problems"].end(), [](const auto& p) { return p.is_string(); }));
}

class StatusEndToEnd : public test::SimRootTest {
 protected:
  // Corvel --status as a separate process, with the machine compared before and after.
  std::string ask(int exitStatus, std::vector<std::string> arguments = {"--status", "--json"},
                  const Environment& environment = {}, const fs::path& program = test::binFolder() / "Corvel") {
    // A Corvel that has just changed its state may still be drawing its Dock icon: wait for quiet.
    auto before = snapshot(root());
    for (int i = 0; i < 20 && (::usleep(300000), snapshot(root()) != before); ++i) before = snapshot(root());
    ProgramProcess status(program, arguments, environment);
    EXPECT_EQ(status.waitForExit(), exitStatus) << status.transcript();
    EXPECT_EQ(snapshot(root()), before);
    return status.transcript();
  }
  json status(int exitStatus, const Environment& environment = {}) {
    const std::string line = ask(exitStatus, {"--status", "--json"}, environment);
    EXPECT_TRUE(!line.empty() && line.find('\n') == line.size() - 1) << line;
    auto j = json::parse(line, nullptr, false);
    expectTheDocumentedShape(j);
    return j;
  }
  void defaults(const json& stored) {
    std::ofstream(root() / "Library/Preferences/app.corvel.Corvel.json") << stored.dump();
  }
  // As remote strong mode leaves the Mac once set up and switched on.
  void remoteStrongOn() {
    defaults({{"ProtectionMode", "remoteStrong"}, {"ProtectionEnabled", true}, {"DidDisableScreenLock", true},
              {"PreviousScreenLockState", "300"}});
    setMacValue("screenlock", "off");
    setMacValue("disablesleep", "1");
    const std::string account = ::getpwuid(::getuid())->pw_name;
    const fs::path rule = root() / "etc/sudoers.d" / sudoersDropInName(account);
    std::ofstream(rule) << *limitedSudoersRule(account) << "\n";
    fs::permissions(rule, static_cast<fs::perms>(0440));
  }
  std::unique_ptr<ProgramProcess> corvel(const Environment& extra = {}) {
    Environment environment{{"CORVEL_SKIP_SERVICE", "1"}};
    environment.insert(extra.begin(), extra.end());
    auto app = std::make_unique<ProgramProcess>(test::binFolder() / "Corvel", std::vector<std::string>{}, environment);
    EXPECT_TRUE(app->waitFor("メニューバー: 🟢 スリープ防止 ON")) << app->transcript();
    EXPECT_TRUE(test::eventually([&] { return sim::assertionHolders(root()).size() == 1; }));
    return app;
  }
  void waitUntilShownOff(ProgramProcess& app) {
    ASSERT_TRUE(app.waitFor("メニューバー: ⚫ スリープ防止 OFF")) << app.transcript();
  }
};

TEST_F(StatusEndToEnd, OnInStandardIsProtected) {
  auto app = corvel();
  const auto j = status(0);
  EXPECT_EQ(j["verdict"], "protected");
  EXPECT_EQ(j["mode"], "standard");
  EXPECT_EQ(j["corvelRunning"], true);
  EXPECT_EQ(j["caffeinatePid"], sim::assertionHolders(root()).at(0));
  EXPECT_EQ(j["sessionLocked"], false);
  EXPECT_EQ(j["problems"], json::array());
}

TEST_F(StatusEndToEnd, ACaffeinateKilledFromOutsideIsDegraded) {
  auto app = corvel();
  const pid_t holder = sim::assertionHolders(root()).at(0);
  ::kill(holder, SIGKILL);
  waitUntilShownOff(*app);
  ASSERT_TRUE(fs::exists(sim::assertionFile(root(), holder)));  // the dead holder's file stays, read and all
  const auto j = status(1);
  EXPECT_EQ(j["verdict"], "degraded");
  EXPECT_EQ(j["caffeinatePid"], nullptr);
  EXPECT_EQ(j["problems"], json::array({"caffeinate is not holding the Mac awake."}));
}

TEST_F(StatusEndToEnd, RemoteStrongWithTheSleepSwitchResetFromOutsideIsDegraded) {
  remoteStrongOn();
  auto app = corvel({{"CORVEL_NO_TOGGLE", "1"}});
  auto j = status(0);
  EXPECT_EQ(j["mode"], "remoteStrong");
  EXPECT_EQ(j["limitedPermission"], true);
  setMacValue("disablesleep", "0");
  waitUntilShownOff(*app);
  j = status(1);
  EXPECT_EQ(j["sleepDisabled"], false);
  EXPECT_EQ(j["screenLock"], "off");
  EXPECT_EQ(j["previousScreenLock"], "300");
  EXPECT_EQ(j["problems"], json::array({"System sleep is not disabled."}));
}

TEST_F(StatusEndToEnd, OffAfterAFullRestoreIsOff) {
  remoteStrongOn();
  auto app = corvel({{"CORVEL_NO_TOGGLE", "1"}});
  for (const auto& [line, next] : std::vector<std::pair<std::string, std::string>>{
           {"right-click", ""}, {"設定を元に戻して終了…", "Macの設定を元に戻しますか？"},
           {"元に戻して終了", "Touch ID:"}, {"touch", "画面ロック設定を元に戻します"}, {"corvel", ""},
           {"1", "管理者の承認"}, {"approve", ""}}) {
    app->send(line);
    ASSERT_TRUE(next.empty() || app->waitFor(next)) << app->transcript();
  }
  ASSERT_EQ(app->waitForExit(), 0) << app->transcript();
  const auto j = status(2);
  EXPECT_EQ(j["verdict"], "off");
  EXPECT_EQ(j["corvelRunning"], false);
  EXPECT_EQ(j["sleepDisabled"], false);
  EXPECT_EQ(j["screenLock"], "300");
  EXPECT_EQ(j["limitedPermission"], false);
  EXPECT_EQ(j["screenLockDisabledByCorvel"], false);
  EXPECT_EQ(j["problems"], json::array());
}

TEST_F(StatusEndToEnd, OffInStandardWithTheScreenLockLeftOffIsDegradedAndSaidInJapanese) {
  defaults({{"ProtectionMode", "standard"}, {"ProtectionEnabled", false}, {"PreviousScreenLockState", "300"}});
  setMacValue("screenlock", "off");
  fs::remove(root() / "mac/session-locked");  // as over SSH: no login session to ask
  const auto j = status(1);
  EXPECT_EQ(j["sessionLocked"], nullptr);
  EXPECT_EQ(j["problems"], json::array({"The screen lock is still off although protection is off."}));
  const std::string text = ask(1, {"--status"});
  EXPECT_EQ(text.rfind("判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n✗ 画面ロック設定：オフ", 0), 0u) << text;
}

TEST_F(StatusEndToEnd, DefaultsThatDoNotParseAreReportedAndLeftAsTheyAre) {
  std::ofstream(root() / "Library/Preferences/app.corvel.Corvel.json") << R"({"ProtectionEnabled": tru)";
  const auto j = status(1);
  EXPECT_EQ(j["mode"], nullptr);
  EXPECT_EQ(j["enabled"], nullptr);
  EXPECT_EQ(j["problems"], json::array({"Corvel's settings cannot be read; they were left as they are."}));
}

TEST_F(StatusEndToEnd, NoSimRootIsReportedAndNoneMade) {
  const fs::path absent = root() / "absent";
  const auto j = status(2, {{"CORVEL_SIM_ROOT", absent.string()}});
  EXPECT_EQ(j["problems"], json::array({"The Mac's folder " + absent.string() + " does not exist; nothing was read."}));
  EXPECT_FALSE(fs::exists(absent));
}

// Corvel finds the tools beside itself, so a copy of it among recording stand-ins shows every tool it
// starts, with its arguments.
TEST_F(StatusEndToEnd, StartsNoProcessButTheThreeReadingTools) {
  remoteStrongOn();
  const fs::path bin = root().string() + "-bin";
  fs::create_directories(bin / "sim");
  fs::copy_file(test::binFolder() / "Corvel", bin / "Corvel");
  for (const char* tool : {"caffeinate", "pmset", "sudo", "sysadminctl"}) {
    std::ofstream(bin / "sim" / tool) << "#!/bin/sh\necho \"" << tool << " $*\" >> '" << (bin / "calls").string()
                                      << "'\nexec '" << test::simTool(tool).string() << "' \"$@\"\n";
    fs::permissions(bin / "sim" / tool, fs::perms::owner_all);
  }
  ask(1, {"--status"}, {}, bin / "Corvel");
  EXPECT_EQ(sim::readFile(bin / "calls"),
            "pmset -g\nsysadminctl -screenLock status\nsudo -n -l /usr/bin/pmset -a disablesleep 1\n");
  fs::remove_all(bin);
}

}  // namespace
}  // namespace corvel
