// A fresh simulated Mac per test.
#include "sim_root_fixture.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include "sim/assertions.h"
#include "sim/sim_root.h"

namespace corvel::test {
namespace fs = std::filesystem;

fs::path binFolder() { return sim::programFolder(); }

fs::path simTool(const std::string& name) { return binFolder() / "sim" / name; }
fs::path testHelper(const std::string& name) { return binFolder() / "test-helpers" / name; }

void SimRootTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "corvel-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  if (const char* previous = std::getenv("CORVEL_SIM_ROOT")) previousRoot_ = previous;
  ::setenv("CORVEL_SIM_ROOT", root_.c_str(), 1);
  sim::ensureInitialized(root_);
}

std::vector<pid_t> processesOf(const fs::path& root, const fs::path& program) {
  const std::string marker = std::string(1, '\0') + "CORVEL_SIM_ROOT=" + root.string();
  std::vector<pid_t> found;
  std::error_code failed;
  for (fs::directory_iterator entry("/proc", failed); !failed && entry != fs::directory_iterator();
       entry.increment(failed)) {
    const std::string name = entry->path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == ::getpid()) continue;
    // The root itself or a folder inside it, never a sibling whose name merely starts the same.
    const std::string environment = '\0' + sim::readFile(entry->path() / "environ").value_or("") + '\0';
    const bool ours =
        environment.find(marker + '\0') != std::string::npos || environment.find(marker + '/') != std::string::npos;
    const auto command = sim::readFile(entry->path() / "cmdline").value_or("");
    if (ours && (program.empty() || command.starts_with(program.string() + '\0'))) found.push_back(std::stoi(name));
  }
  return found;
}

std::vector<fs::path> entriesOf(const fs::path& folder, const std::string& part) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(part) != std::string::npos) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

namespace {

// Whatever a test left running on its simulated Mac, or on one it made inside it (a caffeinate whose
// Corvel was killed, a watchdog and its launchd, a relaunched Corvel), is ended, so no test leaves a
// process behind, however it ended.
void endProcessesOf(const fs::path& root) {
  // A child spawned meanwhile by one of them is caught in the next round.
  for (int round = 0, found = 1; found && round < 20; ++round, ::usleep(50000)) {
    found = 0;
    for (const pid_t pid : processesOf(root)) found |= ::kill(pid, SIGKILL) == 0;
  }
}

}  // namespace

void SimRootTest::TearDown() {
  endProcessesOf(root_);
  previousRoot_ ? ::setenv("CORVEL_SIM_ROOT", previousRoot_->c_str(), 1) : ::unsetenv("CORVEL_SIM_ROOT");
  std::error_code ignored;
  fs::permissions(root_ / "etc/sudoers.d", fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

nlohmann::json SimRootTest::defaults() const {
  const auto text = sim::readFile(root_ / "Library/Preferences/app.corvel.Corvel.json");
  const auto stored = nlohmann::json::parse(text.value_or(""), nullptr, false);
  return stored.is_object() ? stored : nlohmann::json::object();
}

std::unique_ptr<ProgramProcess> SimRootTest::start(std::map<std::string, std::string> environment,
                                                   const std::vector<std::string>& arguments) const {
  environment.emplace("CORVEL_SKIP_SERVICE", "1");
  environment.emplace("CORVEL_NO_TOGGLE", "1");
  auto corvel = std::make_unique<ProgramProcess>(binFolder() / "Corvel", arguments, environment);
  EXPECT_TRUE(corvel->waitFor("メニューバー: ")) << corvel->transcript();
  return corvel;
}

bool play(ProgramProcess& corvel, const Steps& steps) {
  for (const auto& [line, expected] : steps) {
    if (!line.empty()) corvel.send(line);
    if (!expected.empty() && !corvel.waitFor(expected)) {
      ADD_FAILURE() << "after " << line << " no " << expected << "\n" << corvel.transcript();
      return false;
    }
  }
  return true;
}

const Steps setUpRemoteStrong{{"right-click", "メニュー:"},
                              {"リモート強制モード", "リモート強制モードを設定します"},
                              {"設定する", "画面ロック防止を設定します"},
                              {"corvel", ""},
                              {"続ける", "管理者の承認"},
                              {"approve", ""}};

Steps restoreAndQuit(bool touchID, bool lockToRestore) {
  Steps steps{
      {"right-click", "メニュー:"}, {"設定を元に戻して終了…", "Macの設定を元に戻しますか？"}, {"元に戻して終了", ""}};
  // The password comes before anything changes, the switch off and its fingerprint included.
  if (lockToRestore) steps.insert(steps.end(), {{"", "画面ロック設定を元に戻します"}, {"corvel", ""}, {"1", ""}});
  if (touchID) steps.insert(steps.end(), {{"", "Touch ID:"}, {"touch", ""}});
  steps.insert(steps.end(), {{"", "管理者の承認"}, {"approve", ""}});
  return steps;
}

void SimRootTest::expectAllPutBack() const {
  EXPECT_EQ(macValue("screenlock"), "300");
  EXPECT_NE(macValue("disablesleep"), "1");
  EXPECT_TRUE(fs::is_empty(root_ / "etc/sudoers.d"));
  EXPECT_FALSE(defaults().contains("DidDisableScreenLock"));
  EXPECT_FALSE(defaults().contains("PreviousScreenLockState"));
  EXPECT_TRUE(eventually([&] { return sim::liveAssertions(root_).empty(); }));
}

std::string SimRootTest::macValue(const std::string& name) const { return sim::readValue(root_, name).value_or(""); }

void SimRootTest::setMacValue(const std::string& name, const std::string& value) const {
  sim::writeValue(root_, name, value);
}

}  // namespace corvel::test
