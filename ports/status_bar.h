// Port: the menu-bar status item, its button, menus and menu items, and the event being handled.
#pragma once

#include <functional>
#include <memory>
#include <optional>
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

// Which click the application is handling: the release of the left or the right mouse button, or
// anything else.
enum class ClickKind { left, right, other };

class StatusItem {
 public:
  virtual ~StatusItem() = default;
  virtual bool hasButton() const = 0;
  // Runs `action` when the left or the right mouse button is released over the button; which one it
  // was is told by the status bar's current click.
  virtual void setButtonAction(std::function<void()> action) = 0;
  virtual void setButtonTitle(const std::string& title) = 0;
  virtual void setButtonToolTip(const std::string& toolTip) = 0;
  // A non-null menu is shown by the next button click; null detaches it.
  virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
  // Returns when menu tracking (if a menu is attached) has ended.
  virtual void performButtonClick() = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual std::shared_ptr<Menu> makeMenu() = 0;
  virtual std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) = 0;
  // A variable-length item: as wide as its title.
  virtual std::shared_ptr<StatusItem> makeStatusItem() = 0;
  // The click the application is handling now, if any.
  virtual std::optional<ClickKind> currentClick() const = 0;
};

}  // namespace corvel
