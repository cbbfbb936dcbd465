// Declaration-only stand-in for the parts of OpenDirectory the Mac adapters use, for the syntax check
// on Linux. Signatures follow Apple's public documentation; the node type's value is not published
// there and only has to be of the right type here.
#pragma once

#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef uint32_t ODNodeType;
enum {
  kODNodeTypeAuthentication = 0x2201,
};

// Objective-C sees the record types as strings.
typedef NSString* ODRecordType;
FOUNDATION_EXPORT const ODRecordType kODRecordTypeUsers;

@class ODRecord;

@interface ODSession : NSObject
+ (nullable ODSession*)defaultSession;
@end

@interface ODNode : NSObject
+ (nullable instancetype)nodeWithSession:(nullable ODSession*)inSession
                                    type:(ODNodeType)inType
                                   error:(NSError* _Nullable* _Nullable)outError;
- (nullable ODRecord*)recordWithRecordType:(ODRecordType)inRecordType
                                      name:(NSString*)inRecordName
                                attributes:(nullable id)inAttributes
                                     error:(NSError* _Nullable* _Nullable)outError;
@end

@interface ODRecord : NSObject
- (BOOL)verifyPassword:(NSString*)inPassword error:(NSError* _Nullable* _Nullable)outError;
@end

NS_ASSUME_NONNULL_END
