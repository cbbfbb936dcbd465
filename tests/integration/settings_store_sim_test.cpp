// The simulated defaults store, a JSON file per domain replaced atomically and shared between
// processes, and the status check's reader of it.
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "sim/defaults_reader_sim.h"
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
  // What the status check reads, while Corvel may be running; it must never change a thing.
  std::optional<DefaultsSnapshot> status(const std::vector<std::string>& keys) {
    const auto before = everything();
    auto read = SimDefaultsReader(root(), "app.example.Test").readDefaults(keys);
    EXPECT_EQ(everything(), before);
    return read;
  }
  // Every name under the root, with the bytes of the plain files (a pipe is never opened here).
  std::map<std::string, std::string> everything() {
    std::map<std::string, std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root()))
      names[e.path()] = e.is_regular_file() ? sim::readFile(e.path()).value_or("?") : "";
    return names;
  }
  // The entries beside the file whose names hold `part`.
  std::vector<fs::path> beside(const std::string& part = ".corrupt-") {
    return test::entriesOf(file().parent_path(), part);
  }
};

// Reading is what an idle Corvel does most; the file is parsed again only when it is another file
// or has been changed, even by an edit of the same size that puts the modification time back, and a
// write puts a whole new file in its place so no reader sees half of one.
TEST_F(JsonSettingsStoreTest, WritesReplaceTheFileAndAnEditWithItsTimePutBackIsSeen) {
  fs::remove_all(file().parent_path());
  EXPECT_EQ(status({"ProtectionMode"}), (DefaultsSnapshot{{"ProtectionMode", {}}}));
  auto s = store();
  EXPECT_EQ(s.string("ProtectionMode"), std::nullopt);
  EXPECT_FALSE(fs::exists(file()));
  s.setString("PreviousScreenLockState", "300");
  s.setString("ProtectionMode", "standard");
  s.remove("PreviousScreenLockState");
  EXPECT_EQ(store().string("PreviousScreenLockState"), std::nullopt);
  ASSERT_EQ(s.string("ProtectionMode"), "standard");
  struct stat before = {}, probe = {};
  ASSERT_EQ(::stat(file().c_str(), &before), 0);
  // Until the file system's clock has moved on, an edit could not be told by any time.
  ASSERT_TRUE(test::eventually([&] {
    std::ofstream(root() / "probe") << "x";
    return ::stat((root() / "probe").c_str(), &probe) == 0 &&
           (probe.st_ctim.tv_sec != before.st_ctim.tv_sec || probe.st_ctim.tv_nsec != before.st_ctim.tv_nsec);
  }));
  std::string edited = *sim::readFile(file());
  edited.replace(edited.find("standard"), 8, "STANDARD");
  std::fstream(file(), std::ios::in | std::ios::out) << edited;  // the same inode and size
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, file().c_str(), times, 0), 0);
  EXPECT_EQ(s.string("ProtectionMode"), "STANDARD");
  s.setBoolean("ProtectionEnabled", true);
  ASSERT_EQ(::stat(file().c_str(), &probe), 0);
  EXPECT_NE(probe.st_ino, before.st_ino);
  EXPECT_TRUE(beside(".tmp.").empty());
  EXPECT_EQ(store().string("ProtectionMode"), "STANDARD");
  // A Boolean is no text, and text and numbers are read as a Boolean the platform's way.
  EXPECT_EQ(s.string("ProtectionEnabled"), std::nullopt);
  EXPECT_EQ(status({"ProtectionMode", "ProtectionEnabled"}),
            (DefaultsSnapshot{{"ProtectionMode", {"STANDARD", false}}, {"ProtectionEnabled", {{}, true}}}));
  const char* const values[] = {"1", "0.5", "\"YES\"", "\" 007\"", "0", "\"no\"", "\"0\"", "null", "[1]"};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    writeRaw(std::string("{\"k\": ") + values[i] + "}");
    EXPECT_EQ(store().boolean("k"), i < 4) << values[i];  // the first four read as true
    EXPECT_EQ(status({"k"})->at("k").boolean, i < 4) << values[i];
  }
}

// Whatever stands at the file's name that is not a sound defaults file is read as empty and set
// aside as it is (a link is moved, never followed), so that a write then makes a fresh file.
TEST_F(JsonSettingsStoreTest, WhatIsNotASoundFileIsSetAsideUnfollowed) {
  const fs::path target = root() / "target.json";
  const std::string cap(1 << 20, ' ');
  const auto nested = [](int depth) {
    const std::string arrays = std::string(depth - 1, '[') + std::string(depth - 1, ']');
    return "{\"ProtectionMode\": \"standard\", \"n\": " + arrays + "}";
  };
  // What is made, the mode then read (none: set aside), and whether the status check reads it (it
  // parses without a limit on depth).
  const std::tuple<const char*, std::function<void()>, std::optional<std::string>, bool> cases[] = {
      {"not JSON", [&] { writeRaw("{\"ProtectionMode\": \"standard\""); }, {}, false},
      {"fifo", [&] { ::mkfifo(file().c_str(), 0600); }, {}, false},
      {"link to a device", [&] { fs::create_symlink("/dev/zero", file()); }, {}, false},
      {"link to settings", [&] { fs::create_symlink(target, file()); }, {}, false},
      {"one byte over the cap", [&] { writeRaw("{\"ProtectionMode\": \"standard\"}" + cap.substr(29)); }, {}, false},
      {"at the cap", [&] { writeRaw("{\"ProtectionMode\": \"standard\"}" + cap.substr(30)); }, "standard", true},
      {"too deep", [&] { writeRaw(nested(65)); }, {}, true},
      {"deep enough", [&] { writeRaw(nested(64)); }, "standard", true},
  };
  sim::replaceFileAtomically(target, R"({"ProtectionMode": "remoteStrong"})");
  for (const auto& [name, make, mode, statusReads] : cases) {
    SCOPED_TRACE(name);
    make();
    EXPECT_EQ(status({"ProtectionMode"}).has_value(), statusReads);
    const auto before = fs::symlink_status(file()).type();
    EXPECT_EQ(store().string("ProtectionMode"), mode);
    const auto aside = beside();
    ASSERT_EQ(aside.size(), mode ? 0u : 1u);
    for (const auto& entry : aside) EXPECT_EQ(fs::symlink_status(entry).type(), before);
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
  EXPECT_EQ(
      std::tuple(s.boolean("DidDisableScreenLock"), s.string("PreviousScreenLockState"), s.string("x\xef\xbf\xbd")),
      std::tuple(true, "300", "\xef\xbf\xbd"));
  const auto aside = beside();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(sim::readFile(aside[0]), text);
  EXPECT_TRUE(store().boolean("DidDisableScreenLock"));
  EXPECT_EQ(beside().size(), 1u);
}

// Runs `body` in a child process that cannot override file permissions (root drops to "nobody", so
// the sim root is handed to that account first); returns what the child's exit status says.
int withoutPrivileges(const fs::path& root, const std::function<int()>& body) {
  if (::geteuid() == 0) {
    for (const auto& entry : fs::recursive_directory_iterator(root))
      EXPECT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
    EXPECT_EQ(::chown(root.c_str(), 65534, 65534), 0);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What cannot be read may still be the only record of a changed screen lock: it is never written
// over. A value that cannot be saved is kept for the rest of the run, as the system's store does.
TEST_F(JsonSettingsStoreTest, WhatCannotBeReadIsNeverWrittenOverAndWhatCannotBeSavedIsKept) {
  const std::string original = R"({"DidDisableScreenLock": true, "PreviousScreenLockState": "300"})";
  // The file's and the folder's modes, whether the file is moved aside, and what the writing process
  // reads back: 1 for the value it set, 2 for the one it found.
  const std::tuple<const char*, unsigned, unsigned, bool, int> cases[] = {
      {"unreadable file", 0000, 0755, true, 1},
      {"unreadable file, fixed folder", 0000, 0555, false, 1},
      {"read-only folder", 0644, 0555, false, 3},
  };
  const auto writeAndReadBack = [&] {
    auto s = store();
    s.setBoolean("ProtectionEnabled", true);
    return int{s.boolean("ProtectionEnabled")} + 2 * int{s.string("PreviousScreenLockState") == "300"};
  };
  for (const auto& [name, fileMode, folderMode, movedAside, read] : cases) {
    SCOPED_TRACE(name);
    fs::remove_all(file().parent_path());
    fs::create_directories(file().parent_path());
    sim::replaceFileAtomically(file(), original, fileMode);
    fs::permissions(file().parent_path(), static_cast<fs::perms>(folderMode));
    EXPECT_EQ(withoutPrivileges(root(), writeAndReadBack), read);
    fs::permissions(file().parent_path(), fs::perms::owner_all);
    const auto aside = beside();
    ASSERT_EQ(aside.size(), movedAside ? 1u : 0u);
    const fs::path kept = movedAside ? aside[0] : file();
    fs::permissions(kept, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(sim::readFile(kept), original);
  }
}

// Each process reads, changes and replaces the whole file; none may put back a copy that lacks what
// the other has just written.
TEST_F(JsonSettingsStoreTest, ConcurrentWritersFromTwoProcessesLoseNoKey) {
  const auto write = [&](const std::string& who) {
    for (int i = 0; i < 50; ++i) store().setBoolean(who + std::to_string(i), true);
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) write("child-"), ::_exit(0);
  write("parent-");
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  auto s = store();
  for (int i = 0; i < 50; ++i)
    EXPECT_TRUE(s.boolean("child-" + std::to_string(i)) && s.boolean("parent-" + std::to_string(i))) << i;
}

}  // namespace
}  // namespace corvel::sim
