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

void SimStatusItem::click(MouseButton button) {
  if (button == MouseButton::right && rightClickMenu_) {
    const auto menu = rightClickMenu_;  // a chosen entry may set another
    if (onMenuTracking) onMenuTracking(*menu);
    return;
  }
  // A button without an action ignores the click, as on the Mac.
  if (action_) action_();
}

std::shared_ptr<StatusItem> SimStatusBar::makeStatusItem() {
  statusItem_ = std::make_shared<SimStatusItem>();
  statusItem_->onTitleChange = onTitleChange;
  statusItem_->onMenuTracking = onMenuTracking;
  return statusItem_;
}

}  // namespace corvel::sim
