// How the simulated defaults store reads a stored value as a Boolean, shared by the store and the
// read-only reader, so the two can never disagree.
#pragma once

#include <cctype>
#include <nlohmann/json.hpp>
#include <string>

namespace corvel::sim {

// NSUserDefaults' Boolean reading: a Boolean as it is, a number when not zero, a text on a leading
// "Y", "y", "T", "t" or digit 1-9 after blanks, a sign and leading zeros; anything else false.
inline bool booleanOfDefaultsValue(const nlohmann::json& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number()) return value.get<double>() != 0.0;
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace corvel::sim
