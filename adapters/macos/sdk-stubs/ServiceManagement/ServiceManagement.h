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

@interface SMAppService : NSObject
+ (instancetype)agentServiceWithPlistName:(NSString*)plistName;
- (BOOL)registerAndReturnError:(NSError* _Nullable* _Nullable)error;
- (BOOL)unregisterAndReturnError:(NSError* _Nullable* _Nullable)error;
// Reading the registration state changes nothing
// (developer.apple.com/documentation/servicemanagement/smappservice/status-swift.property).
@property(readonly) SMAppServiceStatus status;
@end

NS_ASSUME_NONNULL_END
