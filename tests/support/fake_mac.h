// A small model of the Mac behind the fake process runner and administrator script: the tools
// answer from it and change it, as the real ones would.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "fakes.h"
#include "main/app_delegate.h"

namespace corvel::test {

struct FakeMac {
  std::string screenLock = "immediate";  // "immediate", "off" or seconds
  bool sleepDisabled = false;
  bool ruleInstalled = false;
  std::string loginPassword = "secret";
  bool screenLockChangeWorks = true;   // false: the tool refuses every change
  bool administratorApproves = true;   // false: the approval prompt is cancelled
  bool installedRuleWorks = true;      // false: the file lands but sudo still refuses
  bool pmsetChangeWorks = true;        // false: sudo pmset fails to change the flag (re-setting works)
  int caffeinateLaunches = 0;

  // Wires the fakes of `platform` to this model.
  void attach(FakePlatform& platform);
};

// A delegate over a platform of fakes and the fake Mac behind them; public, so table rows can
// arrange it.
class DelegateTest : public ::testing::Test {
 public:
  FakePlatform fake;
  FakeMac mac;
  std::shared_ptr<AppDelegate> delegate;

  void SetUp() override { start(); }
  // (Re)wires the model and makes a new delegate, as a relaunch would.
  void start() {
    mac.attach(fake);
    delegate = std::make_shared<AppDelegate>(fake.platform);
  }
  // Back to a new machine before the next table row.
  void reset() {
    fake.reset();
    mac = {};
  }
  void answer(int response, std::string typed = "") { fake.alerts.answers.push_back({response, std::move(typed)}); }
  void store(std::string_view key, FakeSettingsStore::Value value) {
    fake.defaults.values[std::string(key)] = std::move(value);
  }
};

}  // namespace corvel::test
