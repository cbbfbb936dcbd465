// The settings store on the Mac: the application's user defaults domain.
#import <Foundation/Foundation.h>

#include "adapters_mac.h"

namespace corvel::mac {
namespace {

NSString* toNSString(std::string_view text) {
  return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

class MacSettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> string(std::string_view key) override {
    NSString* name = toNSString(key);
    if (name == nil) return std::nullopt;
    id value = [NSUserDefaults.standardUserDefaults objectForKey:name];
    if (![value isKindOfClass:[NSString class]]) return std::nullopt;
    const char* bytes = static_cast<NSString*>(value).UTF8String;
    if (bytes == nullptr) return std::nullopt;
    return std::string(bytes);
  }

  bool boolean(std::string_view key) override {
    NSString* name = toNSString(key);
    return name != nil && [NSUserDefaults.standardUserDefaults boolForKey:name];
  }

  void setString(std::string_view key, std::string_view value) override {
    NSString* name = toNSString(key);
    NSString* text = toNSString(value);
    if (name == nil || text == nil) return;
    [NSUserDefaults.standardUserDefaults setObject:text forKey:name];
  }

  void setBoolean(std::string_view key, bool value) override {
    NSString* name = toNSString(key);
    if (name == nil) return;
    [NSUserDefaults.standardUserDefaults setBool:value forKey:name];
  }

  void remove(std::string_view key) override {
    NSString* name = toNSString(key);
    if (name == nil) return;
    [NSUserDefaults.standardUserDefaults removeObjectForKey:name];
  }
};

}  // namespace

std::unique_ptr<SettingsStore> makeSettingsStore() { return std::make_unique<MacSettingsStore>(); }

}  // namespace corvel::mac
