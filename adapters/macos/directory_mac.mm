// Login password checks on the Mac: Open Directory's authentication node.
#import <OpenDirectory/OpenDirectory.h>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

class MacDirectory final : public Directory {
 public:
  bool verifyPassword(const std::string& userName, const std::string& password) override {
    @autoreleasepool {
      NSString* name = toNSString(userName);
      NSString* secret = toNSString(password);
      ODNode* node = [ODNode nodeWithSession:[ODSession defaultSession] type:kODNodeTypeAuthentication error:nil];
      if (node == nil) return false;
      ODRecord* record = [node recordWithRecordType:kODRecordTypeUsers name:name attributes:nil error:nil];
      if (record == nil) return false;
      return [record verifyPassword:secret error:nil];
    }
  }
};

}  // namespace

std::unique_ptr<Directory> makeDirectory() { return std::make_unique<MacDirectory>(); }

}  // namespace corvel::mac
