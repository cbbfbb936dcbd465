// Repairing ill-formed UTF-8 before it crosses into an API that takes only Unicode.
#include <gtest/gtest.h>

#include "support/utf8.h"

namespace corvel {
namespace {

const std::string replacement = "\xEF\xBF\xBD";

TEST(Utf8Repair, KeepsWellFormedTextAndReplacesEachBadByteOnce) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"スリープ防止 🟢 ON", "スリープ防止 🟢 ON"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", replacement},
      {"a\xFF"
       "b",
       "a" + replacement + "b"},
      {"\xE3\x81", replacement + replacement},                               // a sequence cut short
      {"\xC0\xAF", replacement + replacement},                               // an overlong slash
      {"\xED\xA0\x80", replacement + replacement + replacement},             // a surrogate
      {"\xE3\x81\xE3\x81\x82", replacement + replacement + "\xE3\x81\x82"},  // resumes at the next lead
  };
  for (const auto& c : cases) {
    const std::string repaired = utf8::withReplacementCharacters(c.in);
    EXPECT_EQ(repaired, c.out) << c.in;
    EXPECT_TRUE(utf8::isValid(repaired)) << c.in;
  }
}

}  // namespace
}  // namespace corvel
