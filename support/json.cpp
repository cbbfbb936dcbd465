// Writing JSON text: strings escaped whatever bytes they hold, and a compact object.
#include "json.h"

#include <cstdio>

#include "utf8.h"

namespace corvel {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const auto c = utf8::next(text, i);
    if (!c) {
      out += "\\ufffd";
      i = start + 1;
    } else if (*c == '"' || *c == '\\') {
      out += '\\';
      out += static_cast<char>(*c);
    } else if (*c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(*c));
      out += escaped;
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out + "\"";
}

std::string jsonBool(std::optional<bool> value) { return !value ? JsonNull : *value ? "true" : "false"; }

std::string jsonArray(const std::vector<std::string>& values) {
  std::string out = "[";
  for (const std::string& value : values) out += (out.size() > 1 ? "," : "") + value;
  return out + "]";
}

JsonObject& JsonObject::member(std::string_view key, std::string_view value) {
  if (text_.size() > 1) text_ += ',';
  text_ += jsonString(key);
  text_ += ':';
  text_ += value;
  return *this;
}

}  // namespace corvel
