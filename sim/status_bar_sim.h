// The simulated menu bar: status item, menus and items kept in memory for the terminal front end.
#pragma once

#include <functional>
#include <memory>
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
  void setAction(std::function<void()> action) override { action_ = std::move(action); }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  void setChecked(bool checked) override { checked_ = checked; }
  void setSubmenu(std::shared_ptr<Menu> submenu) override;

  const std::string& keyEquivalent() const { return keyEquivalent_; }
  bool hasAction() const { return static_cast<bool>(action_); }
  bool isEnabled() const { return enabled_; }
  bool isChecked() const { return checked_; }
  const std::shared_ptr<SimMenu>& submenu() const { return submenu_; }
  // Chooses the item as a click would: only an enabled item with an action does anything.
  bool choose() const;

 private:
  std::string title_;
  std::string keyEquivalent_;
  std::function<void()> action_;
  bool enabled_ = true;
  bool checked_ = false;
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

enum class MouseButton { left, right };

class SimStatusItem final : public StatusItem {
 public:
  bool hasButton() const override { return true; }
  void setButtonAction(std::function<void()> action) override { action_ = std::move(action); }
  void setButtonTitle(const std::string& title) override;
  void setButtonToolTip(const std::string& toolTip) override { toolTip_ = toolTip; }
  void setRightClickMenu(std::shared_ptr<Menu> menu) override {
    rightClickMenu_ = std::dynamic_pointer_cast<SimMenu>(menu);
  }

  const std::string& title() const { return title_; }
  const std::string& toolTip() const { return toolTip_; }
  // Called with the new title each time it changes; with the right-click menu while it is open.
  std::function<void(const std::string&)> onTitleChange;
  std::function<void(SimMenu&)> onMenuTracking;
  // A click of the button as the platform would deliver it: opening the menu, or to the action.
  void click(MouseButton button);

 private:
  std::string title_;
  std::string toolTip_;
  std::function<void()> action_;
  std::shared_ptr<SimMenu> rightClickMenu_;
};

class SimStatusBar final : public StatusBar {
 public:
  std::shared_ptr<Menu> makeMenu() override { return std::make_shared<SimMenu>(); }
  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) override {
    return std::make_shared<SimMenuItem>(title, keyEquivalent);
  }
  std::shared_ptr<StatusItem> makeStatusItem() override;

  // Installed on every status item made from now on.
  std::function<void(const std::string&)> onTitleChange;
  std::function<void(SimMenu&)> onMenuTracking;
  const std::shared_ptr<SimStatusItem>& statusItem() const { return statusItem_; }

 private:
  std::shared_ptr<SimStatusItem> statusItem_;
};

}  // namespace corvel::sim
