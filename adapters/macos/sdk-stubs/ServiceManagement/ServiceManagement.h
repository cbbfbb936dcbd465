// Declaration-only stand-in for the parts of ServiceManagement the Mac adapters use, for the syntax
// check on Linux. Signatures and values follow Apple's public documentation.
#pragma once

#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef NS_ENUM(NSInteger, SMAppServiceStatus){
    SMAppServiceStatusNotRegistered = 0,
    SMAppServiceStatusEnabled = 1,
    SMAppServiceStatusRequiresApproval = 2,
    SMAppServiceStatusNotFound = 3,
};

// https://developer.apple.com/documentation/servicemanagement/service-management-errors
// Apple's pages give no values; these are the SDK's (SMErrors.h).
enum {
    kSMErrorInternalFailure = 2,
    kSMErrorInvalidSignature = 3,
    kSMErrorAuthorizationFailure = 4,
    kSMErrorToolNotValid = 5,
    kSMErrorJobNotFound = 6,
    kSMErrorServiceUnavailable = 7,
    kSMErrorJobPlistNotFound = 8,
    kSMErrorJobMustBeEnabled = 9,
    kSMErrorInvalidPlist = 10,
    kSMErrorLaunchDeniedByUser = 11,
    kSMErrorAlreadyRegistered = 12,
};

@interface SMAppService : NSObject
+ (instancetype)agentServiceWithPlistName:(NSString*)plistName;
- (BOOL)registerAndReturnError:(NSError* _Nullable* _Nullable)error;
- (BOOL)unregisterAndReturnError:(NSError* _Nullable* _Nullable)error;
// Reading the registration state changes nothing
// (developer.apple.com/documentation/servicemanagement/smappservice/status-swift.property).
@property(readonly) SMAppServiceStatus status;
@end

NS_ASSUME_NONNULL_END
