// Reads back the Info.plist linked into CorvelWatchdog, which gives it an identity apart from Corvel.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "support/identity.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value after <key>name</key>: a <string>'s text, or "true"/"false". None when the key is absent
// or given twice. Comments are dropped first, so a key mentioned in one does not count; the file is
// one flat dictionary, which the test checks before reading.
std::optional<std::string> valueOf(std::string xml, const std::string& key) {
  for (auto open = xml.find("<!--"); open != std::string::npos; open = xml.find("<!--")) {
    const auto close = xml.find("-->", open);
    xml.erase(open, close == std::string::npos ? std::string::npos : close + 3 - open);
  }
  const std::string tag = "<key>" + key + "</key>";
  const auto at = xml.find(tag);
  if (at == std::string::npos || xml.find(tag, at + 1) != std::string::npos) return std::nullopt;
  const auto value = xml.find('<', at + tag.size());
  if (value == std::string::npos) return std::nullopt;
  for (const std::string boolean : {"true", "false"}) {
    const std::string element = "<" + boolean + "/>";
    if (xml.compare(value, element.size(), element) == 0) return boolean;
  }
  const std::string open = "<string>";
  if (xml.compare(value, open.size(), open) != 0) return std::nullopt;
  const auto start = value + open.size();
  return xml.substr(start, xml.find("</string>", start) - start);
}

const std::string plist = readFile(CORVEL_TEST_WATCHDOG_INFO_PLIST);

TEST(WatchdogInfoPlist, IsOneFlatDictionary) {
  ASSERT_FALSE(plist.empty()) << CORVEL_TEST_WATCHDOG_INFO_PLIST;
  EXPECT_EQ(plist.find("<dict>"), plist.rfind("<dict>"));
  EXPECT_EQ(plist.find("<array>"), std::string::npos);
}

TEST(WatchdogInfoPlist, GivesTheWatchdogAnIdentityOfItsOwn) {
  const std::string identifier = corvel::bundleIdentifier + ".watchdog";
  EXPECT_EQ(valueOf(plist, "CFBundleIdentifier"), identifier);
  // The agent's label, and so the name SMAppService knows the watchdog by, is the same string.
  EXPECT_EQ(identifier + ".plist", corvel::watchdogPlistName);
  EXPECT_EQ(valueOf(plist, "CFBundleExecutable"), CORVEL_TEST_WATCHDOG_EXECUTABLE);
}

TEST(WatchdogInfoPlist, KeepsTheWatchdogOutOfTheDock) {
  EXPECT_EQ(valueOf(plist, "LSBackgroundOnly"), "true");
  EXPECT_EQ(valueOf(plist, "LSUIElement"), std::nullopt);
}

TEST(WatchdogInfoPlist, IsLinkedIntoTheBuiltWatchdog) {
  const std::string binary = CORVEL_TEST_WATCHDOG_BINARY;
  if (binary.empty()) GTEST_SKIP() << "the watchdog carries its Info.plist only where it is built for a Mac";
  // The linker copies the file into the section byte for byte, once per architecture.
  EXPECT_NE(readFile(binary).find(plist), std::string::npos);
}

}  // namespace
