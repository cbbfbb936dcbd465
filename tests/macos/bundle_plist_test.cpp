// The property lists Corvel.app and CorvelWatchdog are built with are generated from the one bundle
// identifier the programs are compiled with; the macOS workflow's plutil checks read them key by key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "support/identity.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The value after <key>name</key>, whatever the blanks between: a <string>'s text, or "true"/"false".
// None when the key is absent or given twice; a key mentioned only in a comment does not count.
std::optional<std::string> valueOf(std::string xml, const std::string& key) {
  for (auto open = xml.find("<!--"); open != std::string::npos; open = xml.find("<!--")) {
    const auto close = xml.find("-->", open);
    xml.erase(open, close == std::string::npos ? std::string::npos : close + 3 - open);
  }
  const std::string tag = "<key>" + key + "</key>";
  const auto at = xml.find(tag);
  if (at == std::string::npos || xml.find(tag, at + 1) != std::string::npos) return std::nullopt;
  const auto value = xml.find('<', at + tag.size());
  for (const std::string element : {"<true/>", "<false/>"}) {
    if (xml.compare(value, element.size(), element) == 0) return element.substr(1, element.size() - 3);
  }
  if (xml.compare(value, 8, "<string>") != 0) return std::nullopt;
  return xml.substr(value + 8, xml.find("</string>", value) - value - 8);
}

TEST(BundlePlists, CarryTheIdentifierTheProgramsUse) {
  EXPECT_EQ(valueOf(readFile(CORVEL_TEST_INFO_PLIST), "CFBundleIdentifier"), corvel::bundleIdentifier);
  // SMAppService finds the agent by this file name, and launchd goes by the label inside it.
  const std::string agent = readFile(fs::path(CORVEL_TEST_AGENT_PLIST_FOLDER) / corvel::watchdogPlistName);
  EXPECT_EQ(corvel::watchdogPlistName, corvel::bundleIdentifier + ".watchdog.plist");
  EXPECT_EQ(valueOf(agent, "Label"), corvel::bundleIdentifier + ".watchdog");
  EXPECT_EQ(valueOf(agent, "BundleProgram"), std::string("Contents/MacOS/") + CORVEL_TEST_WATCHDOG_EXECUTABLE);
}

// Linked into CorvelWatchdog, it gives the watchdog an identity apart from Corvel's, under the same
// name as its agent, and keeps it out of the Dock.
TEST(BundlePlists, GiveTheWatchdogAnIdentityOfItsOwnOutOfTheDock) {
  const std::string plist = readFile(CORVEL_TEST_WATCHDOG_INFO_PLIST);
  EXPECT_EQ(plist.find("<dict>"), plist.rfind("<dict>"));  // one flat dictionary, as valueOf reads it
  EXPECT_EQ(plist.find("<array>"), std::string::npos);
  EXPECT_EQ(valueOf(plist, "CFBundleIdentifier"), corvel::bundleIdentifier + ".watchdog");
  EXPECT_EQ(valueOf(plist, "CFBundleExecutable"), CORVEL_TEST_WATCHDOG_EXECUTABLE);
  EXPECT_EQ(valueOf(plist, "LSBackgroundOnly"), "true");
  EXPECT_EQ(valueOf(plist, "LSUIElement"), std::nullopt);
  // Only a Mac build links it in: byte for byte into the section, once per architecture.
  if (const std::string binary = CORVEL_TEST_WATCHDOG_BINARY; !binary.empty()) {
    EXPECT_NE(readFile(binary).find(plist), std::string::npos);
  }
}

}  // namespace
