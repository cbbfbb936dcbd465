// Touch ID and the login password: what the user confirms a change with.
#include <gtest/gtest.h>
#include <thread>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

class ConfirmationsTest : public ::testing::Test {
 protected:
  test::FakeBiometrics biometrics;
  test::FakeApplication application;
  test::FakeAlerts alerts;
  test::FakeMac mac;
  test::FakeEnvironment environment;
  Confirmations confirmations{biometrics, application, alerts, mac, environment};
};

TEST_F(ConfirmationsTest, TheTouchIDWaitKeepsTheEventLoopTurningUntilTheReplyComes) {
  std::function<void(bool)> reply;
  biometrics.onPrompt = [&](std::function<void(bool)> r) { reply = std::move(r); };
  std::thread replier;
  application.onTurn = [&] {
    // The reply comes from the service's own thread, a few turns later.
    if (application.turns == 3) replier = std::thread([&] { reply(true); });
  };
  EXPECT_TRUE(confirmations.authenticateWithTouchID());
  replier.join();
  EXPECT_GE(application.turns, 3);
  EXPECT_EQ(biometrics.fallbackTitle, "");  // no way round the finger
  EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(ConfirmationsTest, ATouchIDFailureIsReported) {
  biometrics.onPrompt = [](std::function<void(bool)> reply) { reply(false); };
  EXPECT_FALSE(confirmations.authenticateWithTouchID());
  biometrics.available = false;
  EXPECT_FALSE(confirmations.authenticateWithTouchID());
  EXPECT_EQ(biometrics.prompts, 1);
  EXPECT_EQ(alerts.titles(), (test::Strings{"Touch IDで認証できませんでした", "Touch IDを使用できません"}));
}

TEST_F(ConfirmationsTest, ThePasswordIsGivenExactlyAsTypedOnlyForTheFirstButtonAndCheckedForThisAccount) {
  const std::pair<std::optional<std::size_t>, bool> presses[] = {{0, true}, {1, false}, {std::nullopt, false}};
  for (const auto& [pressed, given] : presses) {
    alerts.answer(pressed, " pass word ");
    const auto password = confirmations.requestLoginPassword("画面ロック防止を設定します");
    EXPECT_EQ(password ? password->text() : "<none>", given ? " pass word " : "<none>");
  }
  EXPECT_TRUE(alerts.shown.at(0).secureField);
  EXPECT_TRUE(confirmations.verifyLoginPassword("secret"));
  EXPECT_FALSE(confirmations.verifyLoginPassword("Secret"));
  environment.user = "bob";
  EXPECT_FALSE(confirmations.verifyLoginPassword("secret"));
}

}  // namespace
}  // namespace corvel
