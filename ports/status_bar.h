// Port: the menu-bar status item, its button, menus and menu items.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace corvel {

class Menu;

class MenuItem {
 public:
  virtual ~MenuItem() = default;
  virtual std::string title() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  // Runs `action` when the item is chosen.
  virtual void setAction(std::function<void()> action) = 0;
  virtual void setEnabled(bool enabled) = 0;
  // Shows or hides the check mark in front of the title.
  virtual void setChecked(bool checked) = 0;
  virtual void setSubmenu(std::shared_ptr<Menu> submenu) = 0;
};

class Menu {
 public:
  virtual ~Menu() = default;
  virtual void addItem(std::shared_ptr<MenuItem> item) = 0;
  virtual void addSeparator() = 0;
};

class StatusItem {
 public:
  virtual ~StatusItem() = default;
  virtual bool hasButton() const = 0;
  // Runs `action` when a mouse button is released over the button, unless a right-click menu opens.
  virtual void setButtonAction(std::function<void()> action) = 0;
  virtual void setButtonTitle(const std::string& title) = 0;
  virtual void setButtonToolTip(const std::string& toolTip) = 0;
  // From now on a release of the right mouse button over the button opens `menu` instead of running
  // the action, and only that click: any other click still runs the action. Null: no menu.
  virtual void setRightClickMenu(std::shared_ptr<Menu> menu) = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual std::shared_ptr<Menu> makeMenu() = 0;
  virtual std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) = 0;
  // A variable-length item: as wide as its title.
  virtual std::shared_ptr<StatusItem> makeStatusItem() = 0;
};

}  // namespace corvel
