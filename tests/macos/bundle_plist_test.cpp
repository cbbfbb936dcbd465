// The property lists Corvel.app is built with are generated from the one bundle identifier the
// programs are compiled with; the macOS workflow's plutil checks read them key by key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// Whether `key` is followed, after blanks only, by the string `value`.
bool hasEntry(const std::string& plist, const std::string& key, const std::string& value) {
  const std::string opening = "<key>" + key + "</key>";
  const auto at = plist.find(opening);
  if (at == std::string::npos) return false;
  const auto next = plist.find_first_not_of(" \t\n", at + opening.size());
  return next != std::string::npos && plist.substr(next).starts_with("<string>" + value + "</string>");
}

TEST(BundlePlists, CarryTheIdentifierTheProgramsUse) {
  const std::string info = readFile(CORVEL_TEST_INFO_PLIST);
  EXPECT_TRUE(hasEntry(info, "CFBundleIdentifier", corvel::bundleIdentifier)) << info;
  // SMAppService finds the agent by this file name, and launchd goes by the label inside it.
  const std::string agent = readFile(fs::path(CORVEL_TEST_AGENT_PLIST_FOLDER) / corvel::watchdogPlistName);
  EXPECT_TRUE(hasEntry(agent, "Label", corvel::bundleIdentifier + ".watchdog")) << agent;
  EXPECT_TRUE(hasEntry(agent, "BundleProgram", std::string("Contents/MacOS/") + CORVEL_TEST_WATCHDOG_EXECUTABLE))
      << agent;
}

}  // namespace
