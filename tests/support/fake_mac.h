// A small model of the Mac behind the fake process runner and administrator script: the tools
// answer from it and change it, as the real ones would.
#pragma once

#include <string>

#include "fakes.h"

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

}  // namespace corvel::test
