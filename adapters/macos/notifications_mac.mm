// Notifications on the Mac: the user notification centre (UserNotifications).
#import <Foundation/Foundation.h>
#import <UserNotifications/UserNotifications.h>

#include "adapters_mac.h"
#include "string_bridge.h"

#pragma mark - Objective-C bridges

// Corvel may be the active application when something happens (a dialog was just answered); the
// system then shows its notifications only as its delegate says.
@interface CorvelNotificationPresenter : NSObject <UNUserNotificationCenterDelegate>
@end

@implementation CorvelNotificationPresenter

// https://developer.apple.com/documentation/usernotifications/unusernotificationcenterdelegate/usernotificationcenter(_:willpresent:withcompletionhandler:)
- (void)userNotificationCenter:(UNUserNotificationCenter*)center
       willPresentNotification:(UNNotification*)notification
         withCompletionHandler:(void (^)(UNNotificationPresentationOptions options))completionHandler {
  completionHandler(UNNotificationPresentationOptionBanner | UNNotificationPresentationOptionList);
}

@end

#pragma mark - The port

namespace corvel::mac {
namespace {

class MacNotifications final : public Notifications {
 public:
  MacNotifications() { center_.delegate = presenter_; }

  void requestPermission() override {
    // https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/requestauthorization(options:completionhandler:)
    [center_ requestAuthorizationWithOptions:UNAuthorizationOptionAlert
                           completionHandler:^(BOOL, NSError*){
                               // It may run on another thread, and nothing waits for it: a refusal
                               // only means that the system drops later notices.
                           }];
  }

  void post(const std::string& title, const std::string& body) override {
    @autoreleasepool {
      UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
      content.title = toNSString(title);
      content.body = toNSString(body);
      // A fresh identifier each time: one shared with a notice still pending would replace it. No
      // trigger: delivered at once.
      // https://developer.apple.com/documentation/usernotifications/unnotificationrequest/init(identifier:content:trigger:)
      UNNotificationRequest* request = [UNNotificationRequest requestWithIdentifier:NSUUID.UUID.UUIDString
                                                                            content:content
                                                                            trigger:nil];
      // https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/add(_:withcompletionhandler:)
      [center_ addNotificationRequest:request withCompletionHandler:nil];
    }
  }

 private:
  // The centre serves an application bundle only: a program run from outside one (a bare build)
  // would raise an exception on asking for it (field reports; Apple's page does not say), so there
  // notices are dropped, since messages to nil do nothing.
  // https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/current()
  UNUserNotificationCenter* center_ =
      NSBundle.mainBundle.bundleIdentifier != nil ? UNUserNotificationCenter.currentNotificationCenter : nil;
  // The centre holds its delegate weakly; set before the application finishes launching, as Apple
  // asks, since the platform is wired before it runs.
  // https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/delegate
  CorvelNotificationPresenter* presenter_ = [[CorvelNotificationPresenter alloc] init];
};

}  // namespace

std::unique_ptr<Notifications> makeNotifications() { return std::make_unique<MacNotifications>(); }

}  // namespace corvel::mac
