// The simulated defaults store: a JSON file per domain, replaced atomically, shared between processes.
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
      {R"({"k": true})", true},   {R"({"k": false})", false}, {R"({"k": 1})", true},      {R"({"k": 0})", false},
      {R"({"k": 0.5})", true},    {R"({"k": "YES"})", true},  {R"({"k": "true"})", true}, {R"({"k": "no"})", false},
      {R"({"k": " 007"})", true}, {R"({"k": "0"})", false},   {R"({"k": null})", false},  {R"({"k": [1]})", false},
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

// Whatever stands at the file's name that is not a sound regular file is read as empty and set
// aside as it is (a link is moved, never followed), so that a write then makes a fresh file.
TEST_F(JsonSettingsStoreTest, WhatIsNotASoundFileIsSetAsideUnfollowed) {
  const fs::path target = root() / "target.json";
  const std::string cap(1 << 20, ' ');
  const auto nested = [](int depth) {
    const std::string arrays = std::string(depth - 1, '[') + std::string(depth - 1, ']');
    return "{\"ProtectionMode\": \"standard\", \"n\": " + arrays + "}";
  };
  const struct {
    const char* name;
    std::function<void()> make;
    std::optional<std::string> mode;  // none: set aside
  } cases[] = {
      {"fifo", [&] { ::mkfifo(file().c_str(), 0600); }, std::nullopt},
      {"link to a device", [&] { fs::create_symlink("/dev/zero", file()); }, std::nullopt},
      {"link to settings", [&] { fs::create_symlink(target, file()); }, std::nullopt},
      {"folder", [&] { fs::create_directory(file()); }, std::nullopt},
      {"one byte over the cap", [&] { writeRaw("{\"ProtectionMode\": \"standard\"}" + cap.substr(29)); }, std::nullopt},
      {"at the cap", [&] { writeRaw("{\"ProtectionMode\": \"standard\"}" + cap.substr(30)); }, "standard"},
      {"too deep", [&] { writeRaw(nested(65)); }, std::nullopt},
      {"deep enough", [&] { writeRaw(nested(64)); }, "standard"},
  };
  sim::replaceFileAtomically(target, R"({"ProtectionMode": "remoteStrong"})");
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    row.make();
    const auto before = fs::symlink_status(file()).type();
    EXPECT_EQ(store().string("ProtectionMode"), row.mode);
    const auto aside = setAside();
    ASSERT_EQ(aside.size(), row.mode ? 0u : 1u);
    if (!row.mode) {
      EXPECT_EQ(fs::symlink_status(aside[0]).type(), before);
    }
    store().setBoolean("ProtectionEnabled", true);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file())));
    EXPECT_TRUE(store().boolean("ProtectionEnabled"));
    EXPECT_EQ(sim::readFile(target), R"({"ProtectionMode": "remoteStrong"})");
    for (const auto& entry : aside) fs::remove_all(entry);
    fs::remove(file());
  }
}

// A stray byte in a key Corvel does not use must not cost it the record of what it changed.
TEST_F(JsonSettingsStoreTest, InvalidUtf8KeepsEveryKeyThatReadsAndACopyIsSetAside) {
  const std::string text =
      "{\"DidDisableScreenLock\": true, \"Previous\\u0053creenLockState\": \"300\", \"x\xff\": \"\xc3\"}";
  writeRaw(text);
  auto s = store();
  EXPECT_TRUE(s.boolean("DidDisableScreenLock"));
  EXPECT_EQ(s.string("PreviousScreenLockState"), "300");
  EXPECT_EQ(s.string("x\xef\xbf\xbd"), "\xef\xbf\xbd");
  const auto aside = setAside();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(sim::readFile(aside[0]), text);
  EXPECT_TRUE(store().boolean("DidDisableScreenLock"));
  EXPECT_EQ(setAside().size(), 1u);
}

// Reading is what an idle Corvel does most; the file is parsed again only when it is another file
// or has been changed.
TEST_F(JsonSettingsStoreTest, TheFileIsParsedAgainOnlyWhenItsIdentityChanges) {
  auto s = store();
  s.setString("ProtectionMode", "standard");
  ASSERT_EQ(s.string("ProtectionMode"), "standard");
  struct stat before {};
  ASSERT_EQ(::stat(file().c_str(), &before), 0);
  std::string edited = *sim::readFile(file());
  edited.replace(edited.find("standard"), 8, "STANDARD");
  std::fstream(file(), std::ios::in | std::ios::out) << edited;  // the same inode and size
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, file().c_str(), times, 0), 0);
  EXPECT_EQ(s.string("ProtectionMode"), "standard");
  times[1].tv_sec += 1;
  ASSERT_EQ(::utimensat(AT_FDCWD, file().c_str(), times, 0), 0);
  EXPECT_EQ(s.string("ProtectionMode"), "STANDARD");
}

// Runs `body` in a child process that cannot override file permissions (root drops to "nobody", so
// the sim root is handed to that account first); returns what the child printed.
std::string withoutPrivileges(const fs::path& root, const std::function<std::string()>& body) {
  if (::geteuid() == 0) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      EXPECT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(::chown(root.c_str(), 65534, 65534), 0);
  }
  int out[2];
  if (::pipe(out) != 0) return "";
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    const std::string said = body();
    [[maybe_unused]] const auto n = ::write(out[1], said.data(), said.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  ::waitpid(child, nullptr, 0);
  return said;
}

// What cannot be read may still be the only record of a changed screen lock: it is never written
// over. A value that cannot be saved is kept for the rest of the run, as the system's store does.
TEST_F(JsonSettingsStoreTest, WhatCannotBeReadIsNeverWrittenOverAndWhatCannotBeSavedIsKept) {
  const std::string original = R"({"DidDisableScreenLock": true, "PreviousScreenLockState": "300"})";
  const struct {
    const char* name;
    unsigned fileMode, folderMode;
    bool movedAside;
    const char* read;  // what the writing process reads back afterwards
  } cases[] = {
      {"unreadable file", 0000, 0755, true, "on,-"},
      {"unreadable file, fixed folder", 0000, 0555, false, "on,-"},
      {"read-only folder", 0644, 0555, false, "on,300"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    fs::remove_all(file().parent_path());
    fs::create_directories(file().parent_path());
    sim::replaceFileAtomically(file(), original, row.fileMode);
    fs::permissions(file().parent_path(), static_cast<fs::perms>(row.folderMode));
    const std::string said = withoutPrivileges(root(), [&] {
      auto s = store();
      s.setBoolean("ProtectionEnabled", true);
      return std::string(s.boolean("ProtectionEnabled") ? "on," : "off,") +
             s.string("PreviousScreenLockState").value_or("-");
    });
    EXPECT_EQ(said, row.read);
    fs::permissions(file().parent_path(), fs::perms::owner_all);
    const auto aside = setAside();
    ASSERT_EQ(aside.size(), row.movedAside ? 1u : 0u);
    const fs::path kept = row.movedAside ? aside[0] : file();
    fs::permissions(kept, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(sim::readFile(kept), original);
  }
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
