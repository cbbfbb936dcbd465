// What the user confirms a change with: Touch ID for every switch in remote strong mode, and the
// login password for the screen-lock changes.
#pragma once

#include <optional>
#include <string>

#include "main/outcome.h"
#include "ports/alerts.h"
#include "ports/application.h"
#include "ports/biometrics.h"
#include "ports/directory.h"
#include "ports/process_environment.h"
#include "support/secret.h"

namespace corvel {

class Confirmations {
 public:
  Confirmations(Biometrics& biometrics, Application& application, Alerts& alerts, Directory& directory,
                ProcessEnvironment& environment)
      : biometrics_(biometrics),
        application_(application),
        alerts_(alerts),
        directory_(directory),
        environment_(environment) {}

  // Keeps the event loop turning while the prompt is up. A cancel counts as rejected: the prompt has
  // no other way to say it.
  Outcome authenticateWithTouchID();
  // The typed text when the user pressed the first button, exactly as typed; none otherwise.
  std::optional<SecretText> requestLoginPassword(const std::string& reason);
  bool verifyLoginPassword(const std::string& password);

 private:
  Biometrics& biometrics_;
  Application& application_;
  Alerts& alerts_;
  Directory& directory_;
  ProcessEnvironment& environment_;
};

}  // namespace corvel
