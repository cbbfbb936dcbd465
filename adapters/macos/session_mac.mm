// The login session on the Mac: the window server's current session dictionary.
#import <CoreGraphics/CoreGraphics.h>

#include "adapters_mac.h"

namespace corvel::mac {
namespace {

class MacSession final : public Session {
 public:
  std::optional<bool> screenIsLockedFlag() override {
    CFDictionaryRef session = CGSessionCopyCurrentDictionary();
    if (session == nullptr) return std::nullopt;
    // The window server's own key, declared in no public header.
    const void* value = CFDictionaryGetValue(session, CFSTR("CGSSessionScreenIsLocked"));
    std::optional<bool> locked = false;  // a description without the flag: not locked
    if (value != nullptr) {
      locked = CFGetTypeID(value) == CFBooleanGetTypeID()
                   ? std::optional<bool>(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0)
                   : std::nullopt;
    }
    CFRelease(session);
    return locked;
  }
};

}  // namespace

std::unique_ptr<Session> makeSession() { return std::make_unique<MacSession>(); }

}  // namespace corvel::mac
