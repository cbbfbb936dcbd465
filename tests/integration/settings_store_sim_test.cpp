// The simulated defaults store: a JSON file per domain, replaced atomically, shared between processes.
#include <fstream>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/settings_store_sim.h"
#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel::sim {
namespace {
namespace fs = std::filesystem;

class JsonSettingsStoreTest : public test::SimRootTest {
 protected:
  JsonSettingsStore store() { return JsonSettingsStore(root(), "app.example.Test"); }
  fs::path file() { return root() / "Library/Preferences/app.example.Test.json"; }
  void writeRaw(const std::string& text) { std::ofstream(file()) << text; }
  std::vector<fs::path> setAside() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(file().parent_path())) {
      if (entry.path().filename().string().find(".corrupt-") != std::string::npos) found.push_back(entry.path());
    }
    return found;
  }
};

TEST_F(JsonSettingsStoreTest, MissingFileReadsAsEmpty) {
  auto s = store();
  EXPECT_EQ(s.string("ProtectionMode"), std::nullopt);
  EXPECT_FALSE(s.boolean("ProtectionEnabled"));
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(JsonSettingsStoreTest, WritesAreVisibleToTheNextReadAndKeepOtherKeys) {
  auto s = store();
  s.setString("ProtectionMode", "remoteStrong");
  s.setBoolean("ProtectionEnabled", true);
  s.setString("PreviousScreenLockState", "300");
  s.remove("PreviousScreenLockState");
  EXPECT_EQ(s.string("ProtectionMode"), "remoteStrong");
  EXPECT_TRUE(s.boolean("ProtectionEnabled"));
  EXPECT_EQ(s.string("PreviousScreenLockState"), std::nullopt);
  // A Boolean is not text, and text is read as a Boolean the platform's way.
  EXPECT_EQ(s.string("ProtectionEnabled"), std::nullopt);
  s.remove("never-there");
  EXPECT_EQ(s.string("ProtectionMode"), "remoteStrong");
}

TEST_F(JsonSettingsStoreTest, BooleanReadingOfOtherTypes) {
  const std::pair<const char*, bool> table[] = {
      {R"({"k": true})", true},   {R"({"k": false})", false}, {R"({"k": 1})", true},
      {R"({"k": 0})", false},     {R"({"k": 0.5})", true},    {R"({"k": "YES"})", true},
      {R"({"k": "true"})", true}, {R"({"k": "no"})", false},  {R"({"k": " 007"})", true},
      {R"({"k": "0"})", false},   {R"({"k": null})", false},  {R"({"k": [1]})", false},
  };
  for (const auto& [text, expected] : table) {
    writeRaw(text);
    EXPECT_EQ(store().boolean("k"), expected) << text;
  }
}

TEST_F(JsonSettingsStoreTest, ReplacesTheFileAtomically) {
  auto s = store();
  s.setString("ProtectionMode", "standard");
  struct stat before {};
  ASSERT_EQ(::stat(file().c_str(), &before), 0);
  s.setBoolean("ProtectionEnabled", true);
  struct stat after {};
  ASSERT_EQ(::stat(file().c_str(), &after), 0);
  // A new file took the old one's place (rename), rather than the old one being rewritten in place.
  EXPECT_NE(before.st_ino, after.st_ino);
  for (const auto& entry : fs::directory_iterator(file().parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
  }
}

TEST_F(JsonSettingsStoreTest, CorruptFileReadsAsEmptyAndIsKeptAside) {
  for (const char* broken : {"{\"ProtectionMode\": \"remoteStrong\"", "[1, 2]", "\"text\"", "\xff\xfe{}"}) {
    writeRaw(broken);
    auto s = store();
    EXPECT_EQ(s.string("ProtectionMode"), std::nullopt) << broken;
    const auto aside = setAside();
    ASSERT_EQ(aside.size(), 1u) << broken;
    std::ifstream in(aside[0]);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), broken);
    fs::remove(aside[0]);
  }
  // A write over a corrupt file keeps the damaged one aside and starts afresh.
  writeRaw("{not json");
  auto s = store();
  s.setBoolean("ProtectionEnabled", true);
  EXPECT_TRUE(s.boolean("ProtectionEnabled"));
  EXPECT_EQ(setAside().size(), 1u);
}

TEST_F(JsonSettingsStoreTest, AWriteIsSeenByAnotherProcess) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    store().setString("ProtectionMode", "remoteStrong");
    store().setBoolean("ProtectionEnabled", true);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  auto s = store();
  EXPECT_EQ(s.string("ProtectionMode"), "remoteStrong");
  EXPECT_TRUE(s.boolean("ProtectionEnabled"));
}

TEST_F(JsonSettingsStoreTest, ConcurrentWritersFromTwoProcessesLoseNoKey) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int i = 0; i < 50; ++i) store().setBoolean("child-" + std::to_string(i), true);
    ::_exit(0);
  }
  for (int i = 0; i < 50; ++i) store().setBoolean("parent-" + std::to_string(i), true);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  auto s = store();
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(s.boolean("child-" + std::to_string(i))) << i;
    EXPECT_TRUE(s.boolean("parent-" + std::to_string(i))) << i;
  }
}

}  // namespace
}  // namespace corvel::sim
