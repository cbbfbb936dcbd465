// The status item and its menu.
#include "status_menu.h"

namespace corvel {

std::function<void()> StatusMenu::action(void (StatusMenu::*method)()) {
  return [weak = std::weak_ptr<StatusMenu*>(self_), method] {
    if (const auto self = weak.lock()) ((**self).*method)();
  };
}

void StatusMenu::configureStatusItem(QuitCommands quitCommands) {
  StatusViews& views = display_.views();
  views.statusItem = statusBar_.makeStatusItem();
  if (!views.statusItem->hasButton()) return;
  views.statusItem->setButtonAction(action(&StatusMenu::statusItemClicked));

  views.statusLine->setEnabled(false);  // an information line, not a command
  menu_->addItem(views.statusLine);
  menu_->addSeparator();
  views.toggleItem->setAction(action(&StatusMenu::toggleFromMenu));
  menu_->addItem(views.toggleItem);

  auto modeMenu = statusBar_.makeMenu();
  views.standardModeItem->setAction(action(&StatusMenu::selectStandardMode));
  modeMenu->addItem(views.standardModeItem);
  views.remoteModeItem->setAction(action(&StatusMenu::selectRemoteMode));
  modeMenu->addItem(views.remoteModeItem);
  auto modeParent = statusBar_.makeMenuItem("動作モード", "");
  modeParent->setSubmenu(modeMenu);
  menu_->addItem(modeParent);
  menu_->addSeparator();

  auto restoreItem = statusBar_.makeMenuItem("設定を元に戻して終了…", "");
  restoreItem->setAction(std::move(quitCommands.restoreAndQuit));
  menu_->addItem(restoreItem);
  auto quitItem = statusBar_.makeMenuItem("OFFにして終了", "q");
  quitItem->setAction(std::move(quitCommands.turnOffAndQuit));
  menu_->addItem(quitItem);
  views.statusItem->setRightClickMenu(menu_);
}

void StatusMenu::statusItemClicked() { protection_.toggleProtection(); }

void StatusMenu::toggleFromMenu() { protection_.toggleProtection(); }

// While a switch is in progress (the Touch ID wait runs menu actions nested), a mode change would
// leave the switch to finish in the other mode: sleep forbidden in standard mode, or the other way
// round. So the mode entries do nothing then, as a nested switch does.
void StatusMenu::selectStandardMode() {
  if (protection_.isSwitchInProgress() || settings_.mode() == ProtectionMode::standard) return;
  if (!remoteMode_.restoreRemoteSettings()) return;
  settings_.setMode(ProtectionMode::standard);
  protection_.applyStoredState();
  display_.refreshStatus();
}

void StatusMenu::selectRemoteMode() {
  if (protection_.isSwitchInProgress() || settings_.mode() == ProtectionMode::remoteStrong) return;
  if (!remoteMode_.setupRemoteMode()) return;
  settings_.setMode(ProtectionMode::remoteStrong);
  protection_.applyStoredState();
  display_.refreshStatus();
}

}  // namespace corvel
