// Declaration-only stand-in for the parts of LocalAuthentication the Mac adapters use, for the syntax
// check on Linux. Signatures and values follow Apple's public documentation.
#pragma once

#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef NS_ENUM(NSInteger, LAPolicy){
    LAPolicyDeviceOwnerAuthenticationWithBiometrics = 1,
    LAPolicyDeviceOwnerAuthentication = 2,
};

@interface LAContext : NSObject
- (BOOL)canEvaluatePolicy:(LAPolicy)policy error:(NSError* __autoreleasing*)error;
- (void)evaluatePolicy:(LAPolicy)policy
       localizedReason:(NSString*)localizedReason
                 reply:(void (^)(BOOL success, NSError* _Nullable error))reply;
@property(nonatomic, nullable, copy) NSString* localizedFallbackTitle;
@property(nonatomic, nullable, copy) NSString* localizedCancelTitle;
@end

NS_ASSUME_NONNULL_END
