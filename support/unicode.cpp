// Unicode category look-ups over generated range tables.
#include "unicode.h"

#include <algorithm>
#include <iterator>

namespace corvel::unicode {
namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

#include "unicode_tables.inc"

template <std::size_t N>
bool inRanges(const CodePointRange (&ranges)[N], char32_t c) {
  const auto* it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                    [](char32_t v, const CodePointRange& r) { return v < r.first; });
  return it != std::begin(ranges) && c <= std::prev(it)->last;
}

}  // namespace

bool isAlphanumeric(char32_t c) { return inRanges(kAlphanumericRanges, c); }
bool isDecimalDigit(char32_t c) { return inRanges(kDecimalDigitRanges, c); }

}  // namespace corvel::unicode
