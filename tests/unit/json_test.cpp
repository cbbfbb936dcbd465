// JSON text a script parses, whatever bytes were stored.
#include <gtest/gtest.h>

#include "support/json.h"

namespace corvel {
namespace {

TEST(JsonTest, StringsEscapeWhatJsonForbidsAndKeepWellFormedText) {
  const std::pair<std::string, std::string> cases[] = {
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\dir\\", R"("C:\\dir\\")"},
      {std::string("\n\x1f\0\x7f", 4), "\"\\u000a\\u001f\\u0000\x7f\""},
      {"b\xe3\x81 \xff", R"("b\ufffd\ufffd \ufffd")"},
      {"画面ロック 🔒 é/", "\"画面ロック 🔒 é/\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(jsonString(in), out) << in;
  EXPECT_EQ(JsonObject().member("a", jsonArray({"1", "[]"})).member("b", jsonBool({})).text(),
            R"({"a":[1,[]],"b":null})");
}

}  // namespace
}  // namespace corvel
