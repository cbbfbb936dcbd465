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
  // `selector` names the action as the platform's action mechanism knows it; the target is always
  // the application delegate, which `action` is bound to.
  virtual void setAction(const std::string& selector, std::function<void()> action) = 0;
  virtual void setEnabled(bool enabled) = 0;
  // Check-mark state: 1 on, 0 off.
  virtual void setState(int state) = 0;
  virtual void setSubmenu(std::shared_ptr<Menu> submenu) = 0;
};

class Menu {
 public:
  virtual ~Menu() = default;
  virtual void addItem(std::shared_ptr<MenuItem> item) = 0;
  virtual void addSeparator() = 0;
};

// Event types as the platform numbers them.
enum class EventType { leftMouseUp = 2, rightMouseUp = 4, other = 0 };
// Mask bits for the events a status item button sends its action on.
inline constexpr unsigned LeftMouseUpMask = 1u << 2;
inline constexpr unsigned RightMouseUpMask = 1u << 4;

class StatusItem {
 public:
  virtual ~StatusItem() = default;
  virtual bool hasButton() const = 0;
  virtual void setButtonAction(const std::string& selector, std::function<void()> action, unsigned sendOnMask) = 0;
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
  // `length` -1.0 asks for a variable-length item.
  virtual std::shared_ptr<StatusItem> makeStatusItem(double length) = 0;
  // The type of the event the application is handling now, if any.
  virtual std::optional<EventType> currentEventType() const = 0;
};

}  // namespace corvel
