// Sim adapters for the dialogs: alerts with their password field, the fingerprint prompt, and the
// directory's password check, all played through the front end and the simulated machine's files.
#pragma once

#include <filesystem>

#include "ports/alerts.h"
#include "ports/biometrics.h"
#include "ports/directory.h"
#include "ports/notifications.h"
#include "front_end.h"

namespace corvel::sim {

// Shows the message and informative text on lines of their own; a password field takes one line
// (never echoed), then a button is chosen by its exact title or its number, 1 being the first.
class SimAlerts final : public Alerts {
 public:
  explicit SimAlerts(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}
  AlertResponse runModal(const AlertRequest& request) override;

 private:
  FrontEnd& frontEnd_;
};

// Availability comes from mac/touchid; the prompt is answered by "touch" (a matching finger),
// "wrong-finger" (no match) or the cancel title, and the reply is delivered on another thread, as
// the real service does.
class SimBiometrics final : public Biometrics {
 public:
  SimBiometrics(std::filesystem::path root, FrontEnd& frontEnd) : root_(std::move(root)), frontEnd_(frontEnd) {}
  std::unique_ptr<BiometricContext> makeContext() override;

 private:
  std::filesystem::path root_;
  FrontEnd& frontEnd_;
};

// A notification is one line on the screen, "通知: <title> — <body>"; the simulated Mac permits them
// without asking, so the request for permission shows nothing.
class SimNotifications final : public Notifications {
 public:
  explicit SimNotifications(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}
  void requestPermission() override {}
  void post(const std::string& title, const std::string& body) override {
    frontEnd_.say("通知: " + title + " — " + body);
  }

 private:
  FrontEnd& frontEnd_;
};

// The one account of the simulated Mac has the password in mac/login-password.
class SimDirectory final : public Directory {
 public:
  explicit SimDirectory(std::filesystem::path root) : root_(std::move(root)) {}
  bool verifyPassword(const std::string& userName, const std::string& password) override;

 private:
  std::filesystem::path root_;
};

}  // namespace corvel::sim
