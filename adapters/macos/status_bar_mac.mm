// The status item and its menus on the Mac: NSStatusBar, NSMenu, and NSEvent for the right click.
#import <AppKit/AppKit.h>

#include <functional>
#include <vector>

#include "adapters_mac.h"
#include "string_bridge.h"

#pragma mark - Objective-C bridge

// The one target of every button and menu action: it calls the C++ action bound to it. The platform
// always sends fire:, so a single class serves every item.
@interface CorvelActionTarget : NSObject
- (instancetype)initWithAction:(std::function<void()>)action;
- (void)fire:(id)sender;
@end

@implementation CorvelActionTarget {
  std::function<void()> _action;
}

- (instancetype)initWithAction:(std::function<void()>)action {
  if ((self = [super init])) _action = std::move(action);
  return self;
}

- (void)fire:(id)sender {
  // A copy: the action may replace the item's action, and with it this target, while it runs.
  const std::function<void()> action = _action;
  if (action) action();
}

@end

namespace corvel::mac {
namespace {

#pragma mark - Menu item

class MacMenuItem final : public MenuItem {
 public:
  MacMenuItem(const std::string& title, const std::string& keyEquivalent)
      : item_([[NSMenuItem alloc] initWithTitle:toNSString(title) action:nil keyEquivalent:toNSString(keyEquivalent)]) {
  }

  std::string title() const override { return toString(item_.title); }
  void setTitle(const std::string& title) override { item_.title = toNSString(title); }

  void setAction(std::function<void()> action) override {
    // Menu items hold their target weakly: this object keeps it alive.
    target_ = [[CorvelActionTarget alloc] initWithAction:std::move(action)];
    item_.target = target_;
    item_.action = @selector(fire:);
  }

  void setEnabled(bool enabled) override { item_.enabled = enabled; }
  void setChecked(bool checked) override { item_.state = checked ? NSControlStateValueOn : NSControlStateValueOff; }
  void setSubmenu(std::shared_ptr<Menu> submenu) override;

  NSMenuItem* item() const { return item_; }

 private:
  NSMenuItem* item_;
  CorvelActionTarget* target_ = nil;
  std::shared_ptr<Menu> submenu_;
};

#pragma mark - Menu

class MacMenu final : public Menu {
 public:
  MacMenu() : menu_([[NSMenu alloc] initWithTitle:@""]) {
    // Otherwise the menu decides enabling from the targets, and setEnabled would have no effect.
    menu_.autoenablesItems = NO;
  }

  void addItem(std::shared_ptr<MenuItem> item) override {
    auto macItem = std::dynamic_pointer_cast<MacMenuItem>(item);
    if (!macItem) return;
    [menu_ addItem:macItem->item()];
    // Keeps each item's action target alive for as long as the menu can show it.
    items_.push_back(std::move(macItem));
  }

  void addSeparator() override { [menu_ addItem:[NSMenuItem separatorItem]]; }

  NSMenu* menu() const { return menu_; }

 private:
  NSMenu* menu_;
  std::vector<std::shared_ptr<MacMenuItem>> items_;
};

void MacMenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
  auto macMenu = std::dynamic_pointer_cast<MacMenu>(submenu);
  item_.submenu = macMenu ? macMenu->menu() : nil;
  submenu_ = std::move(macMenu);
}

#pragma mark - Status item

class MacStatusItem final : public StatusItem {
 public:
  explicit MacStatusItem(NSStatusItem* item) : item_(item) {}

  bool hasButton() const override { return item_.button != nil; }

  void setButtonAction(std::function<void()> action) override {
    // Buttons hold their target weakly: this object keeps it alive, so the target never outlives it.
    target_ = [[CorvelActionTarget alloc] initWithAction:[this, action = std::move(action)] {
      if (!openRightClickMenu()) action();
    }];
    item_.button.target = target_;
    item_.button.action = @selector(fire:);
    // A right click must reach the action too: it opens the menu from there.
    [item_.button sendActionOn:NSEventMaskLeftMouseUp | NSEventMaskRightMouseUp];
  }

  void setButtonTitle(const std::string& title) override { item_.button.title = toNSString(title); }
  void setButtonToolTip(const std::string& toolTip) override { item_.button.toolTip = toNSString(toolTip); }

  void setRightClickMenu(std::shared_ptr<Menu> menu) override { menu_ = std::dynamic_pointer_cast<MacMenu>(menu); }

 private:
  // The menu is attached only for the right click that opens it: a status item with a menu stops
  // sending its button's action, and every later left click would open the menu instead. Returns
  // whether the click was that one; the menu has closed again by then.
  bool openRightClickMenu() {
    const std::shared_ptr<MacMenu> menu = menu_;  // an entry chosen may set another
    if (!menu || NSApp.currentEvent.type != NSEventTypeRightMouseUp) return false;
    item_.menu = menu->menu();
    // With a menu attached, a click of the button opens it; this returns when tracking has ended.
    [item_.button performClick:nil];
    item_.menu = nil;
    return true;
  }

  // The status bar removes an item nobody holds: this object is what keeps it in the menu bar.
  NSStatusItem* item_;
  CorvelActionTarget* target_ = nil;
  std::shared_ptr<MacMenu> menu_;
};

#pragma mark - Status bar

class MacStatusBar final : public StatusBar {
 public:
  std::shared_ptr<Menu> makeMenu() override { return std::make_shared<MacMenu>(); }

  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) override {
    return std::make_shared<MacMenuItem>(title, keyEquivalent);
  }

  std::shared_ptr<StatusItem> makeStatusItem() override {
    return std::make_shared<MacStatusItem>(
        [NSStatusBar.systemStatusBar statusItemWithLength:NSVariableStatusItemLength]);
  }
};

}  // namespace

std::unique_ptr<StatusBar> makeStatusBar() { return std::make_unique<MacStatusBar>(); }

}  // namespace corvel::mac
