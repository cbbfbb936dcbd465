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
    return executeTellingCancel(source) == AdministratorScriptOutcome::succeeded;
  }

  AdministratorScriptOutcome executeTellingCancel(const std::string& source) override {
    @autoreleasepool {
      NSAppleScript* script = [[NSAppleScript alloc] initWithSource:toNSString(source)];
      if (script == nil) return AdministratorScriptOutcome::failed;
      // Failure is what fills the error dictionary; the result descriptor is not consulted. The
      // person's cancel of the approval is userCanceledErr, -128, under NSAppleScriptErrorNumber
      // (https://developer.apple.com/documentation/foundation/nsapplescript/errornumber).
      NSDictionary<NSString*, id>* error = nil;
      [script executeAndReturnError:&error];
      if (error == nil) return AdministratorScriptOutcome::succeeded;
      id number = [error objectForKey:NSAppleScriptErrorNumber];
      constexpr NSInteger UserCanceledError = -128;
      return [number isKindOfClass:[NSNumber class]] && [(NSNumber*)number integerValue] == UserCanceledError
                 ? AdministratorScriptOutcome::cancelled
                 : AdministratorScriptOutcome::failed;
    }
  }
};

}  // namespace

std::unique_ptr<AdministratorScript> makeAdministratorScript() { return std::make_unique<MacAdministratorScript>(); }

}  // namespace corvel::mac
