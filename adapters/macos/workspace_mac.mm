// Installed and running applications on the Mac, for CorvelWatchdog: NSRunningApplication and
// NSWorkspace.
#import <AppKit/AppKit.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacWorkspace final : public Workspace {
 public:
  bool isApplicationRunning(const std::string& bundleIdentifier) override {
    @autoreleasepool {
      // AppKit refreshes what it knows of running applications when the main run loop turns, and the
      // watchdog's thread otherwise only sleeps: one turn that does not wait lets the news in.
      [NSRunLoop.currentRunLoop runMode:NSDefaultRunLoopMode beforeDate:[NSDate date]];
      // The watchdog lives inside Corvel.app, so the system may count it under Corvel's identifier;
      // were it counted, Corvel would never be started again. Process identifiers are a poor way to
      // compare processes over time, but not for this one: its own cannot be reused while it runs.
      const pid_t watchdog = NSProcessInfo.processInfo.processIdentifier;
      for (NSRunningApplication* application in
           [NSRunningApplication runningApplicationsWithBundleIdentifier:toNSString(bundleIdentifier)]) {
        if (application.processIdentifier != watchdog) return true;
      }
      return false;
    }
  }

  std::optional<std::string> applicationLocation(const std::string& bundleIdentifier) override {
    @autoreleasepool {
      NSURL* url = [NSWorkspace.sharedWorkspace URLForApplicationWithBundleIdentifier:toNSString(bundleIdentifier)];
      if (url.path == nil) return std::nullopt;
      return toString(url.path);
    }
  }

  void openApplication(const std::string& location, const std::vector<std::string>& arguments,
                       bool activates) override {
    @autoreleasepool {
      NSMutableArray<NSString*>* list = [NSMutableArray arrayWithCapacity:arguments.size()];
      for (const std::string& argument : arguments) [list addObject:toNSString(argument)];
      NSWorkspaceOpenConfiguration* configuration = [NSWorkspaceOpenConfiguration configuration];
      configuration.arguments = list;
      configuration.activates = activates;
      [NSWorkspace.sharedWorkspace openApplicationAtURL:[NSURL fileURLWithPath:toNSString(location)]
                                          configuration:configuration
                                      completionHandler:nil];
    }
  }
};

}  // namespace

std::unique_ptr<Workspace> makeWorkspace() { return std::make_unique<MacWorkspace>(); }

}  // namespace corvel::mac
