// The status item and its menu.
#include "status_menu.h"

namespace corvel {

std::function<void()> StatusMenu::action(void (StatusMenu::*method)()) {
  return [weak = std::weak_ptr<StatusMenu*>(self_), method] {
    if (const auto self = weak.lock()) ((**self).*method)();
  };
}

std::function<void()> StatusMenu::modeAction(ProtectionMode mode) {
  return [weak = std::weak_ptr<StatusMenu*>(self_), mode] {
    // A failure has been told by then.
    if (const auto self = weak.lock()) static_cast<void>((**self).protection_.selectMode(mode));
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
  for (std::size_t i = 0; i < views.modeItems.size(); ++i) {
    views.modeItems[i]->setAction(modeAction(protectionModes()[i].mode));
    modeMenu->addItem(views.modeItems[i]);
  }
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

}  // namespace corvel
