// AppDelegate: the application callbacks and the two quit commands, over the collaborators wired in
// collaborators.h.
#pragma once

#include <memory>

#include "main/collaborators.h"
#include "ports/platform.h"

namespace corvel {

class AppDelegate : public ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
 public:
  explicit AppDelegate(Platform& platform);
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  void applicationDidFinishLaunching() override;
  // A click on the Dock tile toggles, as a left click on the status item does.
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
  // Every quit request meets this guard, whatever its source: refused while protection is on.
  TerminateReply applicationShouldTerminate() override;
  void applicationWillTerminate() override;

  void turnOffAndQuit();
  void restoreAndQuit();

 private:
  void refresh();

  Platform& platform_;
  Collaborators parts_;
  std::shared_ptr<Timer> refreshTimer_;
  bool intentionalTermination_ = false;
};

}  // namespace corvel
