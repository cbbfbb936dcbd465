// Installed and running applications on the Mac, for CorvelWatchdog: NSRunningApplication and
// NSWorkspace.
#import <AppKit/AppKit.h>

#include "adapters_mac.h"

namespace corvel::mac {
namespace {

NSString* toNSString(const std::string& text) {
  return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

class MacWorkspace final : public Workspace {
 public:
  bool isApplicationRunning(const std::string& bundleIdentifier) override {
    @autoreleasepool {
      NSString* identifier = toNSString(bundleIdentifier);
      if (identifier == nil) return false;
      // AppKit refreshes what it knows of running applications when the main run loop turns, and the
      // watchdog's thread otherwise only sleeps: one turn that does not wait lets the news in.
      [NSRunLoop.currentRunLoop runMode:NSDefaultRunLoopMode beforeDate:[NSDate date]];
      return [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier].count > 0;
    }
  }

  std::optional<std::string> applicationLocation(const std::string& bundleIdentifier) override {
    @autoreleasepool {
      NSString* identifier = toNSString(bundleIdentifier);
      if (identifier == nil) return std::nullopt;
      NSURL* url = [NSWorkspace.sharedWorkspace URLForApplicationWithBundleIdentifier:identifier];
      const char* path = url.path.UTF8String;
      if (path == nullptr) return std::nullopt;
      return std::string(path);
    }
  }

  void openApplication(const std::string& location, const std::vector<std::string>& arguments,
                       bool activates) override {
    @autoreleasepool {
      NSString* path = toNSString(location);
      if (path == nil) return;
      NSMutableArray<NSString*>* list = [NSMutableArray arrayWithCapacity:arguments.size()];
      for (const std::string& argument : arguments) {
        NSString* text = toNSString(argument);
        if (text == nil) return;
        [list addObject:text];
      }
      NSWorkspaceOpenConfiguration* configuration = [NSWorkspaceOpenConfiguration configuration];
      configuration.arguments = list;
      configuration.activates = activates;
      [NSWorkspace.sharedWorkspace openApplicationAtURL:[NSURL fileURLWithPath:path]
                                          configuration:configuration
                                      completionHandler:nil];
    }
  }
};

}  // namespace

std::unique_ptr<Workspace> makeWorkspace() { return std::make_unique<MacWorkspace>(); }

}  // namespace corvel::mac
