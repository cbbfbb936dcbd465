// The one reading of decimal numbers: ASCII digits only, with an optional sign, refusing overflow.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace corvel {

// The value of `text` when it is an optional '+' or '-' (only where `allowSign`) followed by one or
// more ASCII digits, and nothing else, that fits in 64 bits; none otherwise. Digits of other scripts
// are refused, as the platform's integer conversion refuses them.
inline std::optional<std::int64_t> parseDecimal(std::string_view text, bool allowSign = false) {
  bool negative = false;
  if (allowSign && !text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace corvel
