// The application object on the Mac: NSApplication, its delegate callbacks and the main run loop.
#import <AppKit/AppKit.h>
#import <dispatch/dispatch.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "adapters_mac.h"

#pragma mark - Objective-C bridges

// Forwards NSApplication's delegate callbacks to the C++ delegate.
@interface CorvelApplicationDelegate : NSObject <NSApplicationDelegate>
- (instancetype)initWithDelegate:(corvel::ApplicationDelegate*)delegate;
@end

@implementation CorvelApplicationDelegate {
  corvel::ApplicationDelegate* _delegate;
}

- (instancetype)initWithDelegate:(corvel::ApplicationDelegate*)delegate {
  if ((self = [super init])) _delegate = delegate;
  return self;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  _delegate->applicationDidFinishLaunching();
}

- (BOOL)applicationShouldHandleReopen:(NSApplication*)sender hasVisibleWindows:(BOOL)flag {
  return _delegate->applicationShouldHandleReopen(flag);
}

- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender {
  switch (_delegate->applicationShouldTerminate()) {
    case corvel::TerminateReply::cancel:
      return NSTerminateCancel;
    case corvel::TerminateReply::now:
      return NSTerminateNow;
  }
  return NSTerminateCancel;
}

- (void)applicationWillTerminate:(NSNotification*)notification {
  _delegate->applicationWillTerminate();
}

// AppKit built with the macOS 14 SDK writes a warning to the console unless this says YES, and
// Corvel's only console output is its diagnostic line. It restores no windows, so secure coding of
// restorable state costs it nothing.
- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)app {
  return YES;
}

@end

// The target of a repeating NSTimer.
@interface CorvelTimerTarget : NSObject
- (instancetype)initWithAction:(std::function<void()>)action;
- (void)fire:(NSTimer*)timer;
@end

@implementation CorvelTimerTarget {
  std::function<void()> _action;
}

- (instancetype)initWithAction:(std::function<void()>)action {
  if ((self = [super init])) _action = std::move(action);
  return self;
}

- (void)fire:(NSTimer*)timer {
  _action();
}

@end

namespace corvel::mac {
namespace {

// AppKit and Foundation count time in seconds, as a double.
NSTimeInterval toTimeInterval(std::chrono::milliseconds duration) {
  return std::chrono::duration<double>(duration).count();
}

#pragma mark - Main menu

// With no main menu AppKit has nothing to match ⌘X, ⌘C, ⌘V and ⌘A against, and the password field
// of a dialog could not take a pasted password. The items have no target, so their actions travel
// the responder chain: the focused field's editor answers the editing ones, and NSApp answers
// terminate:, which meets the delegate's quit guard like any other quit request.
NSMenu* makeMainMenu() {
  NSMenu* applicationMenu = [[NSMenu alloc] initWithTitle:@"Corvel"];
  [applicationMenu addItemWithTitle:@"Corvelを終了" action:@selector(terminate:) keyEquivalent:@"q"];

  NSMenu* editMenu = [[NSMenu alloc] initWithTitle:@"編集"];
  [editMenu addItemWithTitle:@"カット" action:@selector(cut:) keyEquivalent:@"x"];
  [editMenu addItemWithTitle:@"コピー" action:@selector(copy:) keyEquivalent:@"c"];
  [editMenu addItemWithTitle:@"ペースト" action:@selector(paste:) keyEquivalent:@"v"];
  [editMenu addItemWithTitle:@"すべてを選択" action:@selector(selectAll:) keyEquivalent:@"a"];

  NSMenu* mainMenu = [[NSMenu alloc] initWithTitle:@""];
  [mainMenu addItemWithTitle:@"Corvel" action:nil keyEquivalent:@""].submenu = applicationMenu;
  [mainMenu addItemWithTitle:@"編集" action:nil keyEquivalent:@""].submenu = editMenu;
  return mainMenu;
}

#pragma mark - Timer

// The run loop already keeps a repeating NSTimer, and the timer its target, for the life of the
// application; the handle holds both as well, so nothing rests on that alone.
struct MacTimer final : Timer {
  MacTimer(CorvelTimerTarget* target, NSTimer* timer) : target(target), timer(timer) {}
  CorvelTimerTarget* target;
  NSTimer* timer;
};

#pragma mark - Application

class MacApplication final : public Application {
 public:
  MacApplication() {
    [NSApplication sharedApplication];
    NSApp.mainMenu = makeMainMenu();
  }

  void setDelegate(ApplicationDelegate* delegate) override {
    // NSApplication holds its delegate weakly: this object keeps the forwarder alive.
    forwarder_ = delegate != nullptr ? [[CorvelApplicationDelegate alloc] initWithDelegate:delegate] : nil;
    NSApp.delegate = forwarder_;
  }

  void setActivationPolicyRegular() override { [NSApp setActivationPolicy:NSApplicationActivationPolicyRegular]; }

  void run() override { [NSApp run]; }

  void terminate() override { [NSApp terminate:nil]; }

  std::shared_ptr<Timer> scheduleRepeatingTimer(std::chrono::milliseconds interval,
                                                std::function<void()> action) override {
    CorvelTimerTarget* target = [[CorvelTimerTarget alloc] initWithAction:std::move(action)];
    NSTimer* timer = [NSTimer timerWithTimeInterval:toTimeInterval(interval)
                                             target:target
                                           selector:@selector(fire:)
                                           userInfo:nil
                                            repeats:YES];
    // The common modes include the one a tracking menu runs and the one a modal alert runs:
    // added for the default mode alone, the refresh would stop while either is open.
    // https://developer.apple.com/documentation/foundation/runloop/mode/common
    [NSRunLoop.mainRunLoop addTimer:timer forMode:NSRunLoopCommonModes];
    return std::make_shared<MacTimer>(target, timer);
  }

  void dispatchAfter(std::chrono::milliseconds delay, std::function<void()> task) override {
    const std::int64_t nanoseconds = std::chrono::nanoseconds(delay).count();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, nanoseconds), dispatch_get_main_queue(), ^{
      task();
    });
  }

  void runOnce(std::chrono::milliseconds maxWait) override {
    // A wait of this kind can last minutes (a Touch ID prompt): each turn empties its own pool.
    @autoreleasepool {
      // Turning the run loop alone would service timers and main-queue blocks but never hand clicks
      // to the application, so clicks on the status item or the Dock tile made during the wait would
      // all run after it, once they could no longer be recognised as coming during it. Waiting for an
      // event in the default mode still fires the timers.
      NSEvent* event = [NSApp nextEventMatchingMask:NSEventMaskAny
                                          untilDate:[NSDate dateWithTimeIntervalSinceNow:toTimeInterval(maxWait)]
                                             inMode:NSDefaultRunLoopMode
                                            dequeue:YES];
      if (event != nil) [NSApp sendEvent:event];
    }
  }

 private:
  CorvelApplicationDelegate* forwarder_ = nil;
};

}  // namespace

std::unique_ptr<Application> makeApplication() { return std::make_unique<MacApplication>(); }

}  // namespace corvel::mac
