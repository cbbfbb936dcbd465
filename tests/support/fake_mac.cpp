// The fake Mac model's tool answers.
#include "fake_mac.h"

namespace corvel::test {

void FakeMac::attach(FakePlatform& fake) {
  fake.directory.loginPassword = loginPassword;
  fake.processes.respond = [this](const ProcessCall& call) -> ProcessResult {
    if (call.executable == "/usr/bin/pmset") {
      return {0, std::string("System-wide power settings:\n SleepDisabled\t\t") + (sleepDisabled ? "1" : "0") +
                     "\nCurrently in use:\n sleep 1\n"};
    }
    if (call.executable == "/usr/bin/sudo") {
      if (!ruleInstalled) return {1, "sudo: a password is required\n"};
      const bool wanted = call.arguments.back() == "1";
      if (!pmsetChangeWorks && wanted != sleepDisabled) return {1, "pmset: failed\n"};
      sleepDisabled = wanted;
      return {0, ""};
    }
    if (call.executable == "/usr/sbin/sysadminctl") {
      if (call.arguments.size() == 2) {
        const std::string body = screenLock == "off" ? "screenLock is off"
                                 : screenLock == "immediate" ? "screenLock delay is immediate"
                                                             : "screenLock delay is " + screenLock + " seconds";
        return {0, "2026-12-06 10:00:00.123 sysadminctl[1:2] " + body + "\n"};
      }
      if (!screenLockChangeWorks || !call.input || *call.input != loginPassword + "\n") return {1, ""};
      screenLock = call.arguments.at(1);
      return {0, ""};
    }
    return {-1, ""};
  };
  fake.administratorScript.respond = [this, &fake](const std::string& source) {
    if (!administratorApproves) return false;
    auto& files = fake.files.existing;
    const std::string dropIn = "/etc/sudoers.d/corvel-" + fake.environment.user;
    if (source.find("/bin/rm -f") != std::string::npos) {
      ruleInstalled = false;
      std::erase(files, dropIn);
    } else {
      ruleInstalled = installedRuleWorks;
      files.push_back(dropIn);
    }
    return true;
  };
  if (ruleInstalled) fake.files.existing.push_back("/etc/sudoers.d/corvel-" + fake.environment.user);
}

}  // namespace corvel::test
