// The settings store on the Mac: the application's user defaults domain, from inside the application
// or, by its identifier, from any process.
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

  // The defaults system saves on its own and reports no failure to the application.
  bool saved() override { return true; }
};

// The domain named by its identifier, as `defaults write` names it: the same preferences the running
// application reads through NSUserDefaults, kept by the same preferences daemon, whether or not the
// application runs. Each name is held to the end of its scope, since a bridged reference keeps
// nothing alive by itself.
class MacApplicationDomainStore final : public SettingsStore {
 public:
  explicit MacApplicationDomainStore(std::string_view applicationID) : application_(toNSString(applicationID)) {}

  std::optional<std::string> string(std::string_view key) override {
    NS_VALID_UNTIL_END_OF_SCOPE NSString* name = toNSString(key);
    // https://developer.apple.com/documentation/corefoundation/cfpreferencescopyappvalue(_:_:)
    id value = CFBridgingRelease(CFPreferencesCopyAppValue((__bridge CFStringRef)name, domain()));
    if (![value isKindOfClass:[NSString class]]) return std::nullopt;
    return toString(static_cast<NSString*>(value));
  }

  bool boolean(std::string_view key) override {
    NS_VALID_UNTIL_END_OF_SCOPE NSString* name = toNSString(key);
    // https://developer.apple.com/documentation/corefoundation/cfpreferencesgetappbooleanvalue(_:_:_:)
    return CFPreferencesGetAppBooleanValue((__bridge CFStringRef)name, domain(), nullptr) != 0;
  }

  void setString(std::string_view key, std::string_view value) override { set(key, toNSString(value)); }

  void setBoolean(std::string_view key, bool value) override {
    set(key, (__bridge id)(value ? kCFBooleanTrue : kCFBooleanFalse));
  }

  void remove(std::string_view key) override { set(key, nil); }

  bool saved() override { return saved_; }

 private:
  CFStringRef domain() const { return (__bridge CFStringRef)application_; }

  // nil removes the key.
  void set(std::string_view key, id value) {
    NS_VALID_UNTIL_END_OF_SCOPE NSString* name = toNSString(key);
    // https://developer.apple.com/documentation/corefoundation/cfpreferencessetappvalue(_:_:_:)
    CFPreferencesSetAppValue((__bridge CFStringRef)name, (__bridge CFPropertyListRef)value, domain());
    // Until then the value lives only in this process, which is about to end.
    // https://developer.apple.com/documentation/corefoundation/cfpreferencesappsynchronize(_:)
    saved_ = CFPreferencesAppSynchronize(domain()) && saved_;
  }

  NSString* application_;
  bool saved_ = true;
};

}  // namespace

std::unique_ptr<SettingsStore> makeSettingsStore() { return std::make_unique<MacSettingsStore>(); }

std::unique_ptr<SettingsStore> makeApplicationDomainStore(std::string_view applicationID) {
  return std::make_unique<MacApplicationDomainStore>(applicationID);
}

}  // namespace corvel::mac
