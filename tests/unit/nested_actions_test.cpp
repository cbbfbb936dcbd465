// Clicks and menu actions run nested in a switch's Touch ID wait. Whatever runs there, and however
// the prompt is answered, no state that belongs to one mode may be left behind in the other.
#include <gtest/gtest.h>
#include <random>

#include "main/app_delegate.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

struct Corvel {
  test::FakeStore defaults;
  test::FakeApplication application;
  test::FakeMac mac;
  test::FakeClock clock;
  test::FakeEnvironment environment;
  test::FakeStatusBar statusBar;
  test::FakeSession session;
  test::FakeAlerts alerts;
  test::FakeBiometrics biometrics;
  test::FakeDockTile dockTile;
  test::FakeAgentServices agents;
  Platform platform{defaults, application, mac,        clock, environment, mac,    statusBar,     mac,
                    session,  alerts,      biometrics, mac,   dockTile,    agents, macToolPaths()};
  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(platform);
};

TEST(NestedActionsTest, NoSequenceLeavesOneModesStateBehindInTheOther) {
  const std::vector<std::string> actions{
      "click",         "通常モード",     "リモート強制モード", "設定を元に戻して終了…",
      "OFFにして終了", "ONに切り替える", "OFFに切り替える"};
  std::mt19937 random(2026);
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (int run = 0; run < 300; ++run) {
    Corvel corvel;
    corvel.environment.variables.emplace("CORVEL_NO_TOGGLE", "1");
    corvel.delegate->applicationDidFinishLaunching();
    // Most dialogs accepted with the right password, some cancelled.
    for (int i = 0; i < 200; ++i) corvel.alerts.answer(pick(5) == 0 ? 1u : 0u, "secret");
    std::string trace;
    const auto act = [&](const std::string& action) {
      trace.append(action).append(" ");
      if (action == "click") return corvel.statusBar.clickButton(ClickKind::left);
      corvel.statusBar.clickButton(ClickKind::right, [&](test::FakeMenu& menu) {
        if (const auto item = menu.find(action)) item->action();
      });
    };
    corvel.biometrics.onPrompt = [&](std::function<void(bool)> reply) {
      trace.append("[");
      for (std::size_t nested = pick(3); nested > 0; --nested) act(actions[pick(actions.size())]);
      const bool touched = pick(4) != 0;
      trace.append(touched ? "touch] " : "cancel] ");
      reply(touched);
    };
    for (int step = 0; step < 10; ++step) {
      act(actions[pick(actions.size())]);
      const bool enabled = corvel.defaults.boolean(keys::protectionEnabled);
      const bool standard = corvel.defaults.string(keys::protectionMode).value_or("standard") == "standard";
      ASSERT_FALSE(standard && corvel.mac.sleepDisabled) << trace;
      ASSERT_FALSE(!enabled && (corvel.mac.sleepDisabled || corvel.mac.runningChildren() > 0)) << trace;
    }
  }
}

}  // namespace
}  // namespace corvel
