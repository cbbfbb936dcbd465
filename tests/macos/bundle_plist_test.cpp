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

std::string entry(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key>\n\t<string>" + value + "</string>";
}

TEST(BundlePlists, CarryTheIdentifierTheProgramsUse) {
  const std::string info = readFile(CORVEL_TEST_INFO_PLIST);
  EXPECT_NE(info.find(entry("CFBundleIdentifier", corvel::bundleIdentifier)), std::string::npos) << info;
  // SMAppService finds the agent by this file name, and launchd goes by the label inside it.
  const std::string agent = readFile(fs::path(CORVEL_TEST_AGENT_PLIST_FOLDER) / corvel::watchdogPlistName);
  EXPECT_NE(agent.find(entry("Label", corvel::bundleIdentifier + ".watchdog")), std::string::npos) << agent;
  EXPECT_NE(agent.find(entry("BundleProgram", std::string("Contents/MacOS/") + CORVEL_TEST_WATCHDOG_EXECUTABLE)),
            std::string::npos)
      << agent;
}

}  // namespace
