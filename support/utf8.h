// Strict UTF-8 decoding, shared by the process runner (which refuses invalid output), the core and
// the Mac adapters' string bridge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel::utf8 {

// Decodes the scalar value at `text[i]` and advances `i`; none on any ill-formed sequence
// (overlong forms, surrogates, values past U+10FFFF, truncation).
inline std::optional<char32_t> next(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - i < length) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  i += length;
  return value;
}

inline bool isValid(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (!next(text, i)) return false;
  }
  return true;
}

// The text with every byte that does not start a well-formed sequence replaced by U+FFFD, one
// replacement per byte. For text that must cross into an API that takes only Unicode: nothing is
// silently dropped, and well-formed text comes through unchanged.
inline std::string withReplacementCharacters(std::string_view text) {
  std::string repaired;
  repaired.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    if (next(text, i)) {
      repaired.append(text.substr(start, i - start));
    } else {
      repaired.append("\xEF\xBF\xBD");
      i = start + 1;
    }
  }
  return repaired;
}

}  // namespace corvel::utf8
