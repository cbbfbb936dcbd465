// The status item in the menu bar and its menu: a left click toggles, a right click opens the menu,
// whose entries switch, choose the mode or quit.
#pragma once

#include <functional>
#include <memory>

#include "main/menubar/status_display.h"
#include "main/switching/protection.h"
#include "ports/status_bar.h"

namespace corvel {

class StatusMenu {
 public:
  // The two quit entries run the application's own quit commands.
  struct QuitCommands {
    std::function<void()> turnOffAndQuit;
    std::function<void()> restoreAndQuit;
  };

  StatusMenu(StatusBar& statusBar, StatusDisplay& display, Protection& protection)
      : statusBar_(statusBar), display_(display), protection_(protection), menu_(statusBar.makeMenu()) {}
  StatusMenu(const StatusMenu&) = delete;
  StatusMenu& operator=(const StatusMenu&) = delete;

  void configureStatusItem(QuitCommands quitCommands);
  void statusItemClicked();
  void toggleFromMenu();

 private:
  std::function<void()> action(void (StatusMenu::*method)());
  std::function<void()> modeAction(ProtectionMode mode);

  StatusBar& statusBar_;
  StatusDisplay& display_;
  Protection& protection_;
  std::shared_ptr<Menu> menu_;
  // Actions hold the menu weakly through this: the platform's objects may outlive it.
  std::shared_ptr<StatusMenu*> self_ = std::make_shared<StatusMenu*>(this);
};

}  // namespace corvel
