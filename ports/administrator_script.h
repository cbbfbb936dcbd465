// Port: the system's script runner, the only way anything runs as root (after the user's approval).
#pragma once

#include <string>

namespace corvel {

// How a run ended, where the user must be told of a failure but not of their own cancel.
enum class AdministratorScriptOutcome { succeeded, cancelled, failed };

class AdministratorScript {
 public:
  virtual ~AdministratorScript() = default;
  // Runs a script in the system's script language. True exactly when it ran without error; a
  // cancelled approval, refused credentials and a failing shell command all give false.
  virtual bool execute(const std::string& source) = 0;
  // The same run, telling the user's cancel of the approval apart from every other failure. A
  // runner that cannot tell them apart reports every failure as failed.
  virtual AdministratorScriptOutcome executeTellingCancel(const std::string& source) {
    return execute(source) ? AdministratorScriptOutcome::succeeded : AdministratorScriptOutcome::failed;
  }
};

}  // namespace corvel
