// The settings store on the Mac: the application's user defaults domain.
#import <Foundation/Foundation.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacSettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> string(std::string_view key) override {
    id value = [NSUserDefaults.standardUserDefaults objectForKey:toNSString(key)];
    if (![value isKindOfClass:[NSString class]]) return std::nullopt;
    return toString(static_cast<NSString*>(value));
  }

  bool boolean(std::string_view key) override {
    return [NSUserDefaults.standardUserDefaults boolForKey:toNSString(key)];
  }

  void setString(std::string_view key, std::string_view value) override {
    [NSUserDefaults.standardUserDefaults setObject:toNSString(value) forKey:toNSString(key)];
  }

  void setBoolean(std::string_view key, bool value) override {
    [NSUserDefaults.standardUserDefaults setBool:value forKey:toNSString(key)];
  }

  void remove(std::string_view key) override {
    [NSUserDefaults.standardUserDefaults removeObjectForKey:toNSString(key)];
  }
};

}  // namespace

std::unique_ptr<SettingsStore> makeSettingsStore() { return std::make_unique<MacSettingsStore>(); }

}  // namespace corvel::mac
