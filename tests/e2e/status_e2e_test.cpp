// Corvel --status end to end: each state made on a simulated Mac of its own, by Corvel itself or by
// hand, then read from outside; the reading must leave every file of the machine as it was.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>

#include "main/remote/limited_permission.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/corvel_process.h"
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

// The documented keys in their order, each with the kinds of value it may hold: s(tring),
// b(oolean), i(nteger), n(ull), a(rray).
void expectTheDocumentedShape(const json& j) {
  const std::pair<const char*, std::string_view> keys[] = {{"verdict", "s"},
                                                           {"mode", "sn"},
                                                           {"enabled", "bn"},
                                                           {"corvelRunning", "bn"},
                                                           {"caffeinatePid", "in"},
                                                           {"sleepDisabled", "bn"},
                                                           {"screenLock", "s"},
                                                           {"previousScreenLock", "sn"},
                                                           {"screenLockDisabledByCorvel", "b"},
                                                           {"sessionLocked", "bn"},
                                                           {"limitedPermission", "b"},
                                                           {"watchdog", "sn"},
                                                           {"problems", "a"}};
  ASSERT_TRUE(j.is_object() && j.size() == std::size(keys)) << j;
  auto it = j.begin();
  for (const auto& [key, kinds] : keys) {
    const char kind = it->is_string()            ? 's'
                      : it->is_boolean()         ? 'b'
                      : it->is_number_unsigned() ? 'i'
                      : it->is_null()            ? 'n'
                      : it->is_array()           ? 'a'
                                                 : '?';
    EXPECT_EQ(it.key(), key);
    EXPECT_NE(kinds.find(kind), std::string_view::npos) << key << ": " << *it;
    ++it;
  }
  for (const auto& problem : j["problems"]) EXPECT_TRUE(problem.is_string()) << problem;
  const auto oneOf = [](const json& v, std::vector<std::string> names) {
    return v.is_null() || std::find(names.begin(), names.end(), v.get<std::string>()) != names.end();
  };
  EXPECT_TRUE(oneOf(j["verdict"], {"protected", "degraded", "off"}) && oneOf(j["mode"], {"standard", "remoteStrong"}) &&
              oneOf(j["watchdog"], {"enabled", "requiresApproval", "notRegistered", "notFound"}))
      << j;
}

class StatusEndToEnd : public test::SimRootTest {
 protected:
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
  // The JSON line, checked for shape and then for the values in `expected`, a JSON object.
  void expectStatus(int exitStatus, const std::string& expected, const Environment& environment = {}) {
    const std::string line = ask(exitStatus, {"--status", "--json"}, environment);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    const json j = json::parse(line, nullptr, false);
    expectTheDocumentedShape(j);
    const json want = json::parse(expected);
    for (const auto& [key, value] : want.items()) EXPECT_EQ(j.value(key, json()), value) << key;
  }
  void defaults(const std::string& stored) {
    std::ofstream(root() / "Library/Preferences/app.corvel.Corvel.json") << stored;
  }
  // As remote strong mode leaves the Mac once set up and switched on.
  void remoteStrongOn() {
    defaults(
        R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":true,"DidDisableScreenLock":true,"PreviousScreenLockState":"300"})");
    setMacValue("screenlock", "off");
    setMacValue("disablesleep", "1");
    const std::string account = ::getpwuid(::getuid())->pw_name;
    const fs::path rule = root() / "etc/sudoers.d" / sudoersDropInName(account);
    std::ofstream(rule) << *limitedSudoersRule(account) << "\n";
    fs::permissions(rule, static_cast<fs::perms>(0440));
  }
  std::unique_ptr<test::ProgramProcess> corvel(const char* noToggle = "") {
    auto app = std::make_unique<test::ProgramProcess>(
        test::binFolder() / "Corvel", std::vector<std::string>{},
        Environment{{"CORVEL_SKIP_SERVICE", "1"}, {"CORVEL_NO_TOGGLE", noToggle}});
    EXPECT_TRUE(app->waitFor("メニューバー: 🟢 スリープ防止 ON")) << app->transcript();
    EXPECT_TRUE(test::eventually([&] { return sim::assertionHolders(root()).size() == 1; }));
    return app;
  }
};

TEST_F(StatusEndToEnd, OnInStandardIsProtected) {
  auto app = corvel();
  expectStatus(0,
               R"({"verdict":"protected","mode":"standard","corvelRunning":true,"sessionLocked":false,"problems":[],)"
               R"("caffeinatePid":)" +
                   std::to_string(sim::assertionHolders(root()).at(0)) + "}");
}

TEST_F(StatusEndToEnd, ACaffeinateKilledFromOutsideIsDegraded) {
  auto app = corvel();
  const pid_t holder = sim::assertionHolders(root()).at(0);
  ::kill(holder, SIGKILL);
  ASSERT_TRUE(app->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << app->transcript();
  ASSERT_TRUE(fs::exists(sim::assertionFile(root(), holder)));  // the dead holder's file stays, read and all
  expectStatus(
      1, R"({"verdict":"degraded","caffeinatePid":null,"problems":["caffeinate is not holding the Mac awake."]})");
}

TEST_F(StatusEndToEnd, RemoteStrongWithTheSleepSwitchResetFromOutsideIsDegraded) {
  remoteStrongOn();
  auto app = corvel("1");
  expectStatus(0, R"({"mode":"remoteStrong","limitedPermission":true})");
  setMacValue("disablesleep", "0");
  ASSERT_TRUE(app->waitFor("メニューバー: ⚫ スリープ防止 OFF")) << app->transcript();
  expectStatus(1, R"({"sleepDisabled":false,"screenLock":"off","previousScreenLock":"300",)"
                  R"("problems":["System sleep is not disabled."]})");
}

TEST_F(StatusEndToEnd, OffAfterAFullRestoreIsOff) {
  remoteStrongOn();
  auto app = corvel("1");
  for (const auto& [line, shown] :
       std::vector<std::pair<std::string, std::string>>{{"right-click", ""},
                                                        {"設定を元に戻して終了…", "Macの設定を元に戻しますか？"},
                                                        {"元に戻して終了", "Touch ID:"},
                                                        {"touch", "画面ロック設定を元に戻します"},
                                                        {"corvel", ""},
                                                        {"1", "管理者の承認"},
                                                        {"approve", ""}}) {
    app->send(line);
    ASSERT_TRUE(shown.empty() || app->waitFor(shown)) << app->transcript();
  }
  ASSERT_EQ(app->waitForExit(), 0) << app->transcript();
  expectStatus(2, R"({"verdict":"off","corvelRunning":false,"sleepDisabled":false,"screenLock":"300",)"
                  R"("limitedPermission":false,"screenLockDisabledByCorvel":false,"problems":[]})");
}

TEST_F(StatusEndToEnd, OffInStandardWithTheScreenLockLeftOffIsDegradedAndSaidInJapanese) {
  defaults(R"({"ProtectionMode":"standard","ProtectionEnabled":false,"PreviousScreenLockState":"300"})");
  setMacValue("screenlock", "off");
  fs::remove(root() / "mac/session-locked");  // as over SSH: no login session to ask
  expectStatus(1, R"({"sessionLocked":null,"problems":["The screen lock is still off although protection is off."]})");
  EXPECT_TRUE(
      ask(1, {"--status"})
          .starts_with("判定：要確認 — 保護が欠けているか、Macの設定が変わったままです\n✗ 画面ロック設定：オフ"));
}

TEST_F(StatusEndToEnd, DefaultsThatDoNotParseAreReportedAndLeftAsTheyAre) {
  defaults(R"({"ProtectionEnabled": tru)");
  expectStatus(1, R"({"mode":null,"enabled":null,)"
                  R"("problems":["Corvel's settings cannot be read; they were left as they are."]})");
}

TEST_F(StatusEndToEnd, NoSimRootIsReportedAndNoneMade) {
  const fs::path absent = root() / "absent";
  expectStatus(2,
               R"({"verdict":"off","problems":["The Mac's folder )" + absent.string() +
                   R"( does not exist; nothing was read."]})",
               {{"CORVEL_SIM_ROOT", absent.string()}});
  EXPECT_FALSE(fs::exists(absent));
}

// Corvel finds the tools beside itself, so a copy of it among recording stand-ins shows every tool
// it starts, with its arguments.
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
