// The administrator script runner on the Mac: NSAppleScript, whose "with administrator privileges"
// asks the user for approval.
#import <Foundation/Foundation.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacAdministratorScript final : public AdministratorScript {
 public:
  bool execute(const std::string& source) override {
    @autoreleasepool {
      NSAppleScript* script = [[NSAppleScript alloc] initWithSource:toNSString(source)];
      if (script == nil) return false;
      // Failure is what fills the error dictionary (a cancelled approval is error -128); the result
      // descriptor is not consulted.
      NSDictionary<NSString*, id>* error = nil;
      [script executeAndReturnError:&error];
      return error == nil;
    }
  }
};

}  // namespace

std::unique_ptr<AdministratorScript> makeAdministratorScript() { return std::make_unique<MacAdministratorScript>(); }

}  // namespace corvel::mac
