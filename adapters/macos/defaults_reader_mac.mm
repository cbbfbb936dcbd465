// Corvel's defaults on the Mac, read only: the same domain and the same readings as the settings
// store (NSUserDefaults), and no call that writes.
#import <Foundation/Foundation.h>

#include "adapters_mac.h"

namespace corvel::mac {
namespace {

class MacDefaultsReader final : public DefaultsReader {
 public:
  // The defaults system has no unreadable state to report: a damaged property list reads as empty.
  std::optional<DefaultsSnapshot> readDefaults(const std::vector<std::string>& keys) override {
    @autoreleasepool {
      NSUserDefaults* defaults = NSUserDefaults.standardUserDefaults;
      DefaultsSnapshot snapshot;
      for (const std::string& key : keys) {
        DefaultsValue& value = snapshot[key];
        NSString* name = [[NSString alloc] initWithBytes:key.data() length:key.size() encoding:NSUTF8StringEncoding];
        if (name == nil) continue;
        id object = [defaults objectForKey:name];
        if ([object isKindOfClass:[NSString class]]) {
          if (const char* bytes = static_cast<NSString*>(object).UTF8String) value.text = std::string(bytes);
        }
        value.boolean = [defaults boolForKey:name];
      }
      return snapshot;
    }
  }
};

}  // namespace

std::unique_ptr<DefaultsReader> makeDefaultsReader() { return std::make_unique<MacDefaultsReader>(); }

}  // namespace corvel::mac
