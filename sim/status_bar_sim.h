// The simulated menu bar: status item, menus and items kept in memory for the terminal front end.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/status_bar.h"

namespace corvel::sim {

class SimMenu;

class SimMenuItem final : public MenuItem {
 public:
  SimMenuItem(std::string title, std::string keyEquivalent)
      : title_(std::move(title)), keyEquivalent_(std::move(keyEquivalent)) {}
  std::string title() const override { return title_; }
  void setTitle(const std::string& title) override { title_ = title; }
  void setAction(const std::string& selector, std::function<void()> action) override {
    selector_ = selector;
    action_ = std::move(action);
  }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  void setState(int state) override { state_ = state; }
  void setSubmenu(std::shared_ptr<Menu> submenu) override;

  const std::string& keyEquivalent() const { return keyEquivalent_; }
  const std::string& selector() const { return selector_; }
  bool isEnabled() const { return enabled_; }
  int state() const { return state_; }
  const std::shared_ptr<SimMenu>& submenu() const { return submenu_; }
  // Chooses the item as a click would: only an enabled item with an action does anything.
  bool choose() const;

 private:
  std::string title_;
  std::string keyEquivalent_;
  std::string selector_;
  std::function<void()> action_;
  bool enabled_ = true;
  int state_ = 0;
  std::shared_ptr<SimMenu> submenu_;
};

class SimMenu final : public Menu {
 public:
  struct Entry {
    std::shared_ptr<SimMenuItem> item;  // null for a separator
  };
  void addItem(std::shared_ptr<MenuItem> item) override;
  void addSeparator() override { entries_.push_back({nullptr}); }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

class SimStatusItem final : public StatusItem {
 public:
  bool hasButton() const override { return true; }
  void setButtonAction(const std::string& selector, std::function<void()> action, unsigned sendOnMask) override;
  void setButtonTitle(const std::string& title) override;
  void setButtonToolTip(const std::string& toolTip) override { toolTip_ = toolTip; }
  void setMenu(std::shared_ptr<Menu> menu) override { menu_ = std::dynamic_pointer_cast<SimMenu>(menu); }
  void performButtonClick() override;

  const std::string& title() const { return title_; }
  const std::string& toolTip() const { return toolTip_; }
  unsigned sendOnMask() const { return sendOnMask_; }
  const std::shared_ptr<SimMenu>& menu() const { return menu_; }
  // Called with the new title each time it changes; with the attached menu while it is open.
  std::function<void(const std::string&)> onTitleChange;
  std::function<void(SimMenu&)> onMenuTracking;
  // A click of the button as the platform would deliver it: to the action, or opening the menu.
  void click();

 private:
  std::string title_;
  std::string toolTip_;
  std::string selector_;
  std::function<void()> action_;
  unsigned sendOnMask_ = 0;
  std::shared_ptr<SimMenu> menu_;
};

class SimStatusBar final : public StatusBar {
 public:
  std::shared_ptr<Menu> makeMenu() override { return std::make_shared<SimMenu>(); }
  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) override {
    return std::make_shared<SimMenuItem>(title, keyEquivalent);
  }
  std::shared_ptr<StatusItem> makeStatusItem(double length) override;
  std::optional<EventType> currentEventType() const override { return currentEvent_; }

  // The event being delivered, set by the front end around each input it handles.
  void setCurrentEvent(std::optional<EventType> event) { currentEvent_ = event; }
  // Installed on every status item made from now on.
  std::function<void(const std::string&)> onTitleChange;
  std::function<void(SimMenu&)> onMenuTracking;
  const std::shared_ptr<SimStatusItem>& statusItem() const { return statusItem_; }
  double statusItemLength() const { return length_; }

 private:
  std::optional<EventType> currentEvent_;
  std::shared_ptr<SimStatusItem> statusItem_;
  double length_ = 0;
};

}  // namespace corvel::sim
