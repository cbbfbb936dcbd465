// Writing JSON text: strings escaped whatever bytes they hold, and a compact object built one member
// at a time in the order its members are added.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// `text` as a JSON string, quotes included. Quotes and backslashes are escaped, control characters
// written as \u00XX, and each byte that does not start well-formed UTF-8 becomes \ufffd, so the result
// is valid JSON whatever was stored; well-formed text is kept as it is.
std::string jsonString(std::string_view text);

inline const std::string JsonNull = "null";

// true, false, or null for none.
std::string jsonBool(std::optional<bool> value);

// [a,b,…] of values that are JSON already.
std::string jsonArray(const std::vector<std::string>& values);

// {"key":value,…} on one line, without blanks; each value is JSON already.
class JsonObject {
 public:
  JsonObject& member(std::string_view key, std::string_view value);
  std::string text() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

}  // namespace corvel
