// Repairing ill-formed UTF-8 before it crosses into an API that takes only Unicode.
#include <gtest/gtest.h>

#include "support/utf8.h"

namespace corvel {
namespace {

TEST(Utf8Repair, KeepsWellFormedTextAndReplacesEachBadByteOnce) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const std::pair<std::string, std::string> cases[] = {
      {"スリープ防止 🟢 ON", "スリープ防止 🟢 ON"},
      {std::string("a\xFF") + "b", "a" + r + "b"},
      {"\xC0\xAF", r + r},                               // an overlong slash
      {"\xED\xA0\x80", r + r + r},                       // a surrogate
      {"\xE3\x81\xE3\x81\x82", r + r + "\xE3\x81\x82"},  // cut short, then resumes at the next lead
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(utf8::withReplacementCharacters(in), out) << in;
}

}  // namespace
}  // namespace corvel
