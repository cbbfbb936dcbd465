// Declaration-only stand-in for the parts of UserNotifications the Mac adapters use, for the syntax
// check on Linux. Signatures and values follow Apple's public documentation.
#pragma once

#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

// https://developer.apple.com/documentation/usernotifications/unauthorizationoptions
typedef NS_OPTIONS(NSUInteger, UNAuthorizationOptions){
    UNAuthorizationOptionBadge = (1 << 0),
    UNAuthorizationOptionSound = (1 << 1),
    UNAuthorizationOptionAlert = (1 << 2),
};

// How a notification is shown while its application is in front; banner and list are macOS 11 and later.
// https://developer.apple.com/documentation/usernotifications/unnotificationpresentationoptions
typedef NS_OPTIONS(NSUInteger, UNNotificationPresentationOptions){
    UNNotificationPresentationOptionBadge = (1 << 0),
    UNNotificationPresentationOptionSound = (1 << 1),
    UNNotificationPresentationOptionList = (1 << 3),
    UNNotificationPresentationOptionBanner = (1 << 4),
};

@class UNUserNotificationCenter, UNNotificationTrigger;

@interface UNNotificationContent : NSObject <NSCopying>
@end

// https://developer.apple.com/documentation/usernotifications/unmutablenotificationcontent
@interface UNMutableNotificationContent : UNNotificationContent
@property(copy) NSString* title;
@property(copy) NSString* body;
@end

@interface UNNotificationRequest : NSObject <NSCopying>
// A nil trigger delivers the notification right away; a request with the identifier of one still
// pending replaces it.
// https://developer.apple.com/documentation/usernotifications/unnotificationrequest/init(identifier:content:trigger:)
+ (instancetype)requestWithIdentifier:(NSString*)identifier
                              content:(UNNotificationContent*)content
                              trigger:(nullable UNNotificationTrigger*)trigger;
@end

@interface UNNotification : NSObject <NSCopying>
@end

// https://developer.apple.com/documentation/usernotifications/unusernotificationcenterdelegate
@protocol UNUserNotificationCenterDelegate <NSObject>
@optional
// https://developer.apple.com/documentation/usernotifications/unusernotificationcenterdelegate/usernotificationcenter(_:willpresent:withcompletionhandler:)
- (void)userNotificationCenter:(UNUserNotificationCenter*)center
       willPresentNotification:(UNNotification*)notification
         withCompletionHandler:(void (^)(UNNotificationPresentationOptions options))completionHandler;
@end

@interface UNUserNotificationCenter : NSObject
// https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/current()
+ (UNUserNotificationCenter*)currentNotificationCenter;
// Held weakly; to be set before the application finishes launching.
// https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/delegate
@property(nullable, weak) id<UNUserNotificationCenterDelegate> delegate;
// The system asks the person once and remembers the answer; the handler may run on a background
// thread.
// https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/requestauthorization(options:completionhandler:)
- (void)requestAuthorizationWithOptions:(UNAuthorizationOptions)options
                      completionHandler:(void (^)(BOOL granted, NSError* _Nullable error))completionHandler;
// https://developer.apple.com/documentation/usernotifications/unusernotificationcenter/add(_:withcompletionhandler:)
- (void)addNotificationRequest:(UNNotificationRequest*)request
         withCompletionHandler:(nullable void (^)(NSError* _Nullable error))completionHandler;
@end

NS_ASSUME_NONNULL_END
