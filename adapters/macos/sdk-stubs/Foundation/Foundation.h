// Declaration-only stand-in for the parts of Foundation the Mac adapters use, for the syntax check on
// Linux. Signatures and values follow Apple's public documentation.
#pragma once

#include <objc/objc.h>
#include <limits.h>
#include <sys/types.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>

#define FOUNDATION_EXPORT CF_EXTERN_C
// As Apple's headers expand them in C++: an enum with a fixed underlying type, and options as the
// plain integer type so that they combine with |.
#define NS_ENUM(_type, _name) enum _name : _type _name; enum _name : _type
#define NS_OPTIONS(_type, _name) _type _name; enum : _type
#define NS_RETURNS_INNER_POINTER __attribute__((objc_returns_inner_pointer))

typedef long NSInteger;
typedef unsigned long NSUInteger;
// https://developer.apple.com/documentation/objectivec/nsuintegermax
#define NSUIntegerMax ULONG_MAX
typedef double NSTimeInterval;
typedef NSUInteger NSStringEncoding;
typedef CGPoint NSPoint;
typedef CGSize NSSize;
typedef CGRect NSRect;

// https://developer.apple.com/documentation/foundation/ns_valid_until_end_of_scope
#define NS_VALID_UNTIL_END_OF_SCOPE __attribute__((objc_precise_lifetime))

NS_ASSUME_NONNULL_BEGIN

FOUNDATION_EXPORT NSPoint NSMakePoint(CGFloat x, CGFloat y);
FOUNDATION_EXPORT NSSize NSMakeSize(CGFloat w, CGFloat h);
FOUNDATION_EXPORT NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h);

@class NSString, NSError, NSNotification, NSAppleEventDescriptor;

@protocol NSObject
- (BOOL)isKindOfClass:(Class)aClass;
@end

@protocol NSCopying
@end

__attribute__((objc_root_class))
@interface NSObject <NSObject> {
  Class isa;
}
+ (instancetype)alloc;
- (instancetype)init;
+ (Class)class;
@end

@interface NSString : NSObject <NSCopying>
- (nullable instancetype)initWithBytes:(const void*)bytes length:(NSUInteger)len encoding:(NSStringEncoding)encoding;
- (BOOL)isEqualToString:(NSString*)aString;
@property(nullable, readonly) const char* UTF8String NS_RETURNS_INNER_POINTER;
@end

enum { NSUTF8StringEncoding = 4 };

// https://developer.apple.com/documentation/foundation/nsfastenumerationstate
typedef struct {
  unsigned long state;
  id __unsafe_unretained _Nullable* _Nullable itemsPtr;
  unsigned long* _Nullable mutationsPtr;
  unsigned long extra[5];
} NSFastEnumerationState;

// https://developer.apple.com/documentation/foundation/nsfastenumeration
// What for (… in …) compiles against.
@protocol NSFastEnumeration
// https://developer.apple.com/documentation/foundation/nsfastenumeration/countbyenumerating(with:objects:count:)
- (NSUInteger)countByEnumeratingWithState:(NSFastEnumerationState*)state
                                  objects:(id __unsafe_unretained _Nullable[_Nonnull])buffer
                                    count:(NSUInteger)len;
@end

@interface NSArray<__covariant ObjectType> : NSObject <NSFastEnumeration>
@property(readonly) NSUInteger count;
@end

@interface NSMutableArray<ObjectType> : NSArray<ObjectType>
+ (instancetype)arrayWithCapacity:(NSUInteger)numItems;
- (void)addObject:(ObjectType)anObject;
@end

@interface NSDictionary<__covariant KeyType, __covariant ObjectType> : NSObject
// What the compiler turns an @{...} literal into.
+ (instancetype)dictionaryWithObjects:(const ObjectType _Nonnull[_Nullable])objects
                              forKeys:(const KeyType<NSCopying> _Nonnull[_Nullable])keys
                                count:(NSUInteger)cnt;
// https://developer.apple.com/documentation/foundation/nsdictionary/objectforkey(_:)
- (nullable ObjectType)objectForKey:(KeyType)aKey;
@end

// https://developer.apple.com/documentation/foundation/nsnumber
// CFNumber and CFBoolean are toll-free bridged to it.
@interface NSNumber : NSObject
// https://developer.apple.com/documentation/foundation/nsnumber/integervalue
@property(readonly) NSInteger integerValue;
@property(readonly) BOOL boolValue;
@end

// Hands a Core Foundation object the caller owns (from a Create or Copy function) over to ARC.
// https://developer.apple.com/documentation/foundation/cfbridgingrelease
static inline id _Nullable CFBridgingRelease(CFTypeRef CF_CONSUMED _Nullable X) { return (__bridge_transfer id)X; }

// https://developer.apple.com/documentation/foundation/nserror
typedef NSString* NSErrorDomain;
FOUNDATION_EXPORT NSErrorDomain const NSPOSIXErrorDomain;
FOUNDATION_EXPORT NSErrorDomain const NSOSStatusErrorDomain;

@interface NSError : NSObject
@property(readonly, copy) NSErrorDomain domain;
@property(readonly) NSInteger code;
@end

@interface NSDate : NSObject
+ (instancetype)date;
+ (instancetype)dateWithTimeIntervalSinceNow:(NSTimeInterval)secs;
@end

@interface NSURL : NSObject
+ (NSURL*)fileURLWithPath:(NSString*)path;
@property(nullable, readonly, copy) NSString* path;
@end

@interface NSUserDefaults : NSObject
@property(class, readonly, strong) NSUserDefaults* standardUserDefaults;
// Reading never writes; boolForKey: is false for an absent key and coerces numbers and texts such as
// "YES" (developer.apple.com/documentation/foundation/userdefaults/bool(forkey:)).
- (nullable id)objectForKey:(NSString*)defaultName;
- (void)setObject:(nullable id)value forKey:(NSString*)defaultName;
- (void)removeObjectForKey:(NSString*)defaultName;
- (BOOL)boolForKey:(NSString*)defaultName;
- (void)setBool:(BOOL)value forKey:(NSString*)defaultName;
@end

@interface NSTimer : NSObject
+ (NSTimer*)timerWithTimeInterval:(NSTimeInterval)ti
                           target:(id)aTarget
                         selector:(SEL)aSelector
                         userInfo:(nullable id)userInfo
                          repeats:(BOOL)yesOrNo;
@end

typedef NSString* NSRunLoopMode;
FOUNDATION_EXPORT NSRunLoopMode const NSDefaultRunLoopMode;
// https://developer.apple.com/documentation/foundation/runloop/mode/common
FOUNDATION_EXPORT NSRunLoopMode const NSRunLoopCommonModes;

@interface NSRunLoop : NSObject
@property(class, readonly, strong) NSRunLoop* currentRunLoop;
@property(class, readonly, strong) NSRunLoop* mainRunLoop;
- (void)addTimer:(NSTimer*)timer forMode:(NSRunLoopMode)mode;
- (BOOL)runMode:(NSRunLoopMode)mode beforeDate:(NSDate*)limitDate;
@end

// https://developer.apple.com/documentation/foundation/processinfo/thermalstate-swift.enum
typedef NS_ENUM(NSInteger, NSProcessInfoThermalState){
    NSProcessInfoThermalStateNominal = 0,
    NSProcessInfoThermalStateFair = 1,
    NSProcessInfoThermalStateSerious = 2,
    NSProcessInfoThermalStateCritical = 3,
};

// https://developer.apple.com/documentation/foundation/processinfo
@interface NSProcessInfo : NSObject
// https://developer.apple.com/documentation/foundation/processinfo/processinfo
@property(class, readonly, strong) NSProcessInfo* processInfo;
// https://developer.apple.com/documentation/foundation/processinfo/processidentifier
@property(readonly) int processIdentifier;
// https://developer.apple.com/documentation/foundation/processinfo/thermalstate-swift.property
@property(readonly) NSProcessInfoThermalState thermalState;
@end

// https://developer.apple.com/documentation/foundation/bundle
@interface NSBundle : NSObject
@property(class, readonly, strong) NSBundle* mainBundle;
// Nil for a program that is no application bundle with an Info.plist naming one.
// https://developer.apple.com/documentation/foundation/bundle/bundleidentifier
@property(nullable, readonly, copy) NSString* bundleIdentifier;
@end

// https://developer.apple.com/documentation/foundation/nsuuid
@interface NSUUID : NSObject
+ (instancetype)UUID;
@property(readonly, copy) NSString* UUIDString;
@end

// https://developer.apple.com/documentation/foundation/nsapplescript/errornumber
FOUNDATION_EXPORT NSString* const NSAppleScriptErrorNumber;

@interface NSAppleScript : NSObject <NSCopying>
- (nullable instancetype)initWithSource:(NSString*)source;
- (nullable NSAppleEventDescriptor*)executeAndReturnError:
    (NSDictionary<NSString*, id>* _Nullable* _Nullable)errorInfo;
@end

NS_ASSUME_NONNULL_END
