// Modal alerts on the Mac: NSAlert, with an NSSecureTextField accessory for a password.
#import <AppKit/AppKit.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

NSAlertStyle toAlertStyle(AlertStyle style) {
  switch (style) {
    case AlertStyle::warning:
      return NSAlertStyleWarning;
    case AlertStyle::informational:
      return NSAlertStyleInformational;
    case AlertStyle::critical:
      return NSAlertStyleCritical;
  }
  return NSAlertStyleWarning;
}

// Neither a click on a status item nor runModal brings the application forward: without this a
// dialog could sit behind the application in front, ignore Return, and leave the keyboard, and so a
// typed password, with that other application. macOS 14 replaced the call with a request the system
// may decline; the 13 SDK (Xcode 14) does not declare it at all, and @available guards only the run
// time, so the call is compiled only by an SDK that has it.
// https://developer.apple.com/documentation/appkit/nsapplication/activate()
void activateApplication() {
#if __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000
  if (@available(macOS 14.0, *)) {
    [NSApp activate];
    return;
  }
#endif
  [NSApp activateIgnoringOtherApps:YES];
}

class MacAlerts final : public Alerts {
 public:
  AlertResponse runModal(const AlertRequest& request) override {
    // The pool ends the temporary copies of the typed password with this call, not with the event.
    @autoreleasepool {
      // Whether Corvel was in front before it asked to be: the answer to the request comes later.
      const bool wasActive = NSApp.active;
      activateApplication();
      NSAlert* alert = [[NSAlert alloc] init];
      alert.messageText = toNSString(request.messageText);
      alert.informativeText = toNSString(request.informativeText);
      if (request.style) alert.alertStyle = toAlertStyle(*request.style);
      for (const std::string& title : request.buttons) [alert addButtonWithTitle:toNSString(title)];

      NSSecureTextField* field = nil;
      if (request.secureField) {
        // Room for a password on one line, the width of the alert's text column.
        field = [[NSSecureTextField alloc] initWithFrame:NSMakeRect(0, 0, 320, 24)];
        field.placeholderString = toNSString(request.secureField->placeholder);
        alert.accessoryView = field;
        // An accessory view does not get the keyboard focus by itself; without this the user would
        // have to click into the field before typing.
        [alert layout];
        alert.window.initialFirstResponder = field;
      }

      // On macOS 14 and later the system may decline the activation of an application the user
      // did not click (a refusal reported at the end of a switch, a quit from a script): the alert
      // would then open behind the application in front. Floating keeps it in sight; the level
      // belongs to this alert's window, which ends with it.
      // https://developer.apple.com/documentation/appkit/nswindow/level-swift.struct/floating
      if (!wasActive) alert.window.level = NSFloatingWindowLevel;

      AlertResponse response;
      // The first button answers NSAlertFirstButtonReturn, each further one the next number.
      const NSModalResponse pressed = [alert runModal];
      if (pressed >= NSAlertFirstButtonReturn) {
        response.pressedButton = static_cast<std::size_t>(pressed - NSAlertFirstButtonReturn);
      }
      if (field != nil) {
        response.fieldText = SecretText(toString(field.stringValue));
        field.stringValue = @"";
      }
      return response;
    }
  }
};

}  // namespace

std::unique_ptr<Alerts> makeAlerts() { return std::make_unique<MacAlerts>(); }

}  // namespace corvel::mac
