// The in-memory menu bar of the simulated Mac.
#include "status_bar_sim.h"

namespace corvel::sim {

void SimMenuItem::setSubmenu(std::shared_ptr<Menu> submenu) { submenu_ = std::dynamic_pointer_cast<SimMenu>(submenu); }

bool SimMenuItem::choose() const {
  if (!enabled_ || !action_) return false;
  action_();
  return true;
}

void SimMenu::addItem(std::shared_ptr<MenuItem> item) {
  entries_.push_back({std::dynamic_pointer_cast<SimMenuItem>(item)});
}

void SimStatusItem::setButtonTitle(const std::string& title) {
  if (title == title_) return;
  title_ = title;
  if (onTitleChange) onTitleChange(title_);
}

void SimStatusItem::performButtonClick() {
  // With a menu attached the button opens it instead of sending its action, as on the Mac.
  if (menu_) {
    auto menu = menu_;
    if (onMenuTracking) onMenuTracking(*menu);
    return;
  }
  if (action_) action_();
}

void SimStatusItem::click() { performButtonClick(); }

std::shared_ptr<StatusItem> SimStatusBar::makeStatusItem() {
  statusItem_ = std::make_shared<SimStatusItem>();
  statusItem_->onTitleChange = onTitleChange;
  statusItem_->onMenuTracking = onMenuTracking;
  return statusItem_;
}

}  // namespace corvel::sim
