// Port: the system's script runner, the only way anything runs as root (after the user's approval).
#pragma once

#include <string>

namespace corvel {

class AdministratorScript {
 public:
  virtual ~AdministratorScript() = default;
  // Runs a script in the system's script language. True exactly when it ran without error; a
  // cancelled approval, refused credentials and a failing shell command all give false.
  virtual bool execute(const std::string& source) = 0;
};

}  // namespace corvel
