// The one crossing between the C++ side's UTF-8 strings and NSString, for every Mac adapter.
#pragma once

#import <Foundation/Foundation.h>

#include <string>
#include <string_view>

#include "support/utf8.h"

namespace corvel::mac {

// Never nil. Ill-formed UTF-8 has each offending byte replaced by U+FFFD before it crosses, rather
// than the whole text becoming nil or empty: an empty user name, password, title or path would
// mean something else entirely, while the replaced text still stands for what it came from. No
// text can widen into a match it could not have been given directly, since U+FFFD can be typed;
// and only bytes above ASCII are ever replaced, so quoting done on the C++ side (the administrator
// script) stays intact.
inline NSString* toNSString(std::string_view text) {
  if (!utf8::isValid(text)) return toNSString(utf8::withReplacementCharacters(text));
  NSString* string = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
  // Well-formed UTF-8 always converts; the fallback only keeps the promise of a non-nil result.
  return string != nil ? string : @"";
}

// The empty string for nil, and for the rare NSString that has no UTF-8 form (a lone surrogate).
inline std::string toString(NSString* text) {
  const char* bytes = text.UTF8String;
  return bytes != nullptr ? std::string(bytes) : std::string();
}

}  // namespace corvel::mac
