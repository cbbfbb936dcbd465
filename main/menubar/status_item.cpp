// The status item in the menu bar: a left click toggles, a right click opens the menu.
#include "main/app_delegate.h"

namespace corvel {

void AppDelegate::configureStatusItem() {
  StatusBar& bar = platform_.statusBar;
  statusItem = bar.makeStatusItem(-1.0);  // variable length: as wide as its title
  if (!statusItem->hasButton()) return;
  // Actions hold the delegate weakly: the platform's objects may outlive it.
  const std::weak_ptr<AppDelegate> weak = weak_from_this();
  const auto action = [weak](void (AppDelegate::*method)()) {
    return [weak, method] {
      if (auto self = weak.lock()) ((*self).*method)();
    };
  };
  statusItem->setButtonAction("statusItemClicked:", action(&AppDelegate::statusItemClicked),
                              LeftMouseUpMask | RightMouseUpMask);

  statusLine->setEnabled(false);  // an information line, not a command
  statusMenu->addItem(statusLine);
  statusMenu->addSeparator();
  toggleItem->setAction("toggleFromMenu", action(&AppDelegate::toggleFromMenu));
  statusMenu->addItem(toggleItem);

  auto modeMenu = bar.makeMenu();
  standardModeItem->setAction("selectStandardMode", action(&AppDelegate::selectStandardMode));
  modeMenu->addItem(standardModeItem);
  remoteModeItem->setAction("selectRemoteMode", action(&AppDelegate::selectRemoteMode));
  modeMenu->addItem(remoteModeItem);
  auto modeParent = bar.makeMenuItem("動作モード", "");
  modeParent->setSubmenu(modeMenu);
  statusMenu->addItem(modeParent);
  statusMenu->addSeparator();

  auto restoreItem = bar.makeMenuItem("設定を元に戻して終了…", "");
  restoreItem->setAction("restoreAndQuit", action(&AppDelegate::restoreAndQuit));
  statusMenu->addItem(restoreItem);
  auto quitItem = bar.makeMenuItem("OFFにして終了", "q");
  quitItem->setAction("turnOffAndQuit", action(&AppDelegate::turnOffAndQuit));
  statusMenu->addItem(quitItem);
}

void AppDelegate::statusItemClicked() {
  if (platform_.statusBar.currentEventType() == EventType::rightMouseUp) {
    // The menu is attached only for this click: with a menu attached the button would stop sending
    // its action, and every later left click would open the menu instead of toggling.
    statusItem->setMenu(statusMenu);
    if (statusItem->hasButton()) statusItem->performButtonClick();
    statusItem->setMenu(nullptr);
    return;
  }
  toggleProtection();
}

void AppDelegate::toggleFromMenu() { toggleProtection(); }

void AppDelegate::selectStandardMode() {
  if (mode() == ProtectionMode::standard) return;
  if (!restoreRemoteSettings()) return;
  setMode(ProtectionMode::standard);
  applyStoredState();
  refreshStatus();
}

void AppDelegate::selectRemoteMode() {
  if (mode() == ProtectionMode::remoteStrong) return;
  if (!setupRemoteMode()) return;
  setMode(ProtectionMode::remoteStrong);
  applyStoredState();
  refreshStatus();
}

}  // namespace corvel
