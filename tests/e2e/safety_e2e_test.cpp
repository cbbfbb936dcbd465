// The safety guard end to end: each limit switches a running Corvel off in either mode, says so, is
// reported by the status check and puts a Mac with its lid shut to sleep; a drift is told, and
// repaired once repairs are asked for, until the repairs stop holding.
#include <gtest/gtest.h>
#include <pwd.h>

#include <fstream>

#include "main/remote/limited_permission.h"
#include "main/safety/guard_settings.h"
#include "sim/assertions.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

using test::eventually;

class SafetyTest : public test::SimRootTest {
 protected:
  // Corvel's command line, run once as a person at a terminal would; its status, then what it printed.
  std::pair<std::optional<int>, std::string> command(const std::vector<std::string>& arguments) {
    test::ProgramProcess run(test::binFolder() / "Corvel", arguments, {});
    run.closeInput();
    return {run.waitForExit(), run.transcript()};  // in this order: the transcript is whole once it has ended
  }
  nlohmann::json status() { return nlohmann::json::parse(command({"--status", "--json"}).second, nullptr, false); }
  void set(const std::string& name, const std::string& value) {
    EXPECT_EQ(command({"--set", name, value}).first, 0) << name << " " << value;
  }
  // A Mac already in the stored state: on, in remote strong set up as the set-up leaves it.
  std::unique_ptr<test::ProgramProcess> startOn(bool remote) {
    sim::ensureInitialized(root());
    const std::string account = ::getpwuid(::getuid())->pw_name;
    std::ofstream(root() / "Library/Preferences/app.corvel.Corvel.json")
        << (remote ? R"({"ProtectionMode":"remoteStrong","ProtectionEnabled":true,"DidDisableScreenLock":true,)"
                     R"("PreviousScreenLockState":"300"})"
                   : R"({"ProtectionMode":"standard","ProtectionEnabled":true})");
    if (remote) {
      std::ofstream(root() / "etc/sudoers.d" / sudoersDropInName(account)) << *limitedSudoersRule(account) << "\n";
      setMacValue("screenlock", "off");
    }
    auto corvel = start();
    EXPECT_TRUE(corvel->waitFor("🟢 スリープ防止 ON")) << corvel->transcript();
    EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; }));
    return corvel;
  }
};

struct Limit {
  const char* name;
  bool remote, lidClosed;
  std::string reason;
};
void PrintTo(const Limit& row, std::ostream* out) { *out << row.name; }

class SafetyStops : public SafetyTest, public ::testing::WithParamInterface<Limit> {};

TEST_P(SafetyStops, SwitchOffUnaskedTellWhyAndPutAShutMacToSleep) {
  const Limit& row = GetParam();
  setMacValue("lid", row.lidClosed ? "closed" : "open");
  auto corvel = startOn(row.remote);
  const auto now = std::chrono::system_clock::now();
  if (row.reason == "timeLimit") {
    // Set while on, the limit runs from that moment, and an extension moves its end.
    set("time-limit", "1h");
    const auto deadline = parseIsoTime(defaults().value(std::string(keys::deadline), ""));
    ASSERT_TRUE(deadline);
    EXPECT_LE(std::chrono::abs(*deadline - now - std::chrono::hours(1)), std::chrono::seconds(5));
    EXPECT_EQ(command({"--extend", "30m"}).first, 0);
    EXPECT_EQ(status()["deadline"], isoTime(*deadline + std::chrono::minutes(30)));
    nlohmann::json stored = defaults();
    stored[std::string(keys::deadline)] = isoTime(now);  // as if the time had come
    sim::replaceFileAtomically(root() / "Library/Preferences/app.corvel.Corvel.json", stored.dump());
  } else if (row.reason == "battery") {
    set("battery-floor", "10");
    setMacValue("battery", "5 ac");  // on mains power the floor never counts
    ::sleep(5);
    EXPECT_EQ(sim::liveAssertions(root()).size(), 1u);
    setMacValue("battery", "5 battery");
  } else {
    setMacValue("thermal", "critical");  // the thermal stop is on unless switched off
  }
  ASSERT_TRUE(corvel->waitFor("通知: スリープ防止をOFFにしました — ")) << corvel->transcript();
  ASSERT_TRUE(corvel->waitFor(row.remote ? "画面ロックはオフのままです。" : "")) << corvel->transcript();
  EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root()).empty(); }));
  EXPECT_FALSE(defaults().value("ProtectionEnabled", true));
  EXPECT_NE(macValue("disablesleep"), "1");
  EXPECT_EQ(macValue("screenlock") == "off", row.remote);  // left for the restore, which needs the password
  // The notice comes first, to be read when the Mac wakes.
  EXPECT_EQ(eventually([&] { return fs::exists(root() / "mac/slept"); }, std::chrono::seconds(row.lidClosed ? 10 : 1)),
            row.lidClosed);
  const nlohmann::json report = status();
  EXPECT_EQ(report["lastSafetyStop"]["reason"], row.reason);
  EXPECT_EQ(report["verdict"], row.remote ? "degraded" : "off");
  EXPECT_TRUE(corvel->running());
}

INSTANTIATE_TEST_SUITE_P(EachLimit, SafetyStops,
                         ::testing::Values(Limit{"TimeStandard", false, false, "timeLimit"},
                                           Limit{"TimeRemoteStrongLidShut", true, true, "timeLimit"},
                                           Limit{"BatteryStandardLidShut", false, true, "battery"},
                                           Limit{"BatteryRemoteStrong", true, false, "battery"},
                                           Limit{"HeatStandard", false, false, "thermal"},
                                           Limit{"HeatRemoteStrongLidShut", true, true, "thermal"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Repairs are off until asked for, and the setting reaches the running Corvel without a restart.
TEST_F(SafetyTest, ADriftIsToldOnceThenRepairedWhenAskedAndCounted) {
  auto corvel = startOn(false);
  ::kill(sim::liveAssertions(root()).at(0), SIGKILL);
  ASSERT_TRUE(corvel->waitFor("通知: スリープ防止が効いていません — caffeinateが終了しました。メニューからON"))
      << corvel->transcript();
  ::sleep(3);
  EXPECT_TRUE(sim::liveAssertions(root()).empty());
  EXPECT_EQ(status()["verdict"], "degraded");
  set("repair", "on");
  ASSERT_TRUE(eventually([&] { return sim::liveAssertions(root()).size() == 1; })) << corvel->transcript();
  const nlohmann::json report = status();
  EXPECT_EQ(report["verdict"], "protected");
  EXPECT_EQ(report["repairs"]["count"], 1);
  EXPECT_EQ(corvel->transcript().find("通知: スリープ防止が効いていません", corvel->transcript().find("通知:") + 1),
            std::string::npos);  // told once
}

// Without the rule nothing can forbid sleep again unasked: three attempts half a minute apart, then
// the guard gives up and says so.
TEST_F(SafetyTest, ARepairThatCannotHoldIsGivenUpAfterThreeAttempts) {
  auto corvel = startOn(true);
  set("repair", "on");
  fs::remove_all(root() / "etc/sudoers.d");
  setMacValue("disablesleep", "0");
  ASSERT_TRUE(
      corvel->waitFor("通知: スリープ防止が効いていません — システムスリープの禁止が解除されました。元に戻します。"))
      << corvel->transcript();
  ASSERT_TRUE(corvel->waitFor("通知: スリープ防止を直せませんでした", std::chrono::seconds(90)))
      << corvel->transcript();
  const nlohmann::json report = status();
  EXPECT_EQ(report["verdict"], "degraded");
  EXPECT_EQ(report["repairs"]["count"], 0);
}

}  // namespace
}  // namespace corvel
