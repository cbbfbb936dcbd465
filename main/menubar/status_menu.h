// The status item in the menu bar and its menu: a left click toggles, a right click opens the menu,
// whose entries switch, choose the mode or quit.
#pragma once

#include <functional>
#include <memory>

#include "main/engine/protection.h"
#include "main/menubar/status_display.h"
#include "main/remote/remote_mode.h"
#include "main/settings.h"
#include "ports/status_bar.h"

namespace corvel {

class StatusMenu {
 public:
  // The two quit entries run the application's own quit commands.
  struct QuitCommands {
    std::function<void()> turnOffAndQuit;
    std::function<void()> restoreAndQuit;
  };

  StatusMenu(StatusBar& statusBar, StatusDisplay& display, Protection& protection, RemoteMode& remoteMode,
             Settings& settings)
      : statusBar_(statusBar),
        display_(display),
        protection_(protection),
        remoteMode_(remoteMode),
        settings_(settings),
        menu_(statusBar.makeMenu()) {}
  StatusMenu(const StatusMenu&) = delete;
  StatusMenu& operator=(const StatusMenu&) = delete;

  void configureStatusItem(QuitCommands quitCommands);
  void statusItemClicked();
  void toggleFromMenu();
  // A mode is taken only once the Mac is set up for it (or put back from the other).
  void selectStandardMode();
  void selectRemoteMode();

 private:
  std::function<void()> action(void (StatusMenu::*method)());

  StatusBar& statusBar_;
  StatusDisplay& display_;
  Protection& protection_;
  RemoteMode& remoteMode_;
  Settings& settings_;
  std::shared_ptr<Menu> menu_;
  // Actions hold the menu weakly through this: the platform's objects may outlive it.
  std::shared_ptr<StatusMenu*> self_ = std::make_shared<StatusMenu*>(this);
};

}  // namespace corvel
