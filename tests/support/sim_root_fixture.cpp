// A fresh simulated Mac per test.
#include "sim_root_fixture.h"

#include <climits>
#include <csignal>
#include <fstream>
#include <cstdlib>
#include <unistd.h>

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
  if (const char* previous = std::getenv("CORVEL_SIM_ROOT")) {
    hadPreviousRoot_ = true;
    previousRoot_ = previous;
  }
  ::setenv("CORVEL_SIM_ROOT", root_.c_str(), 1);
  sim::ensureInitialized(root_);
}

namespace {

// Whatever a test left running on its simulated Mac (a caffeinate whose Corvel was killed, a
// watchdog, a relaunched Corvel) is recognised by the sim root in its environment and ended, so no
// test leaves a process behind, however it ended.
void endProcessesOf(const fs::path& root) {
  const std::string marker = "CORVEL_SIM_ROOT=" + root.string();
  for (int round = 0; round < 3; ++round) {
    bool found = false;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const pid_t pid = static_cast<pid_t>(std::stol(name));
      if (pid == ::getpid()) continue;
      std::ifstream environ(entry.path() / "environ", std::ios::binary);
      std::string variable;
      while (std::getline(environ, variable, '\0')) {
        if (variable == marker) {
          ::kill(pid, SIGKILL);
          found = true;
          break;
        }
      }
    }
    if (!found) return;
    ::usleep(50000);  // a child spawned meanwhile by one of them gets caught in the next round
  }
}

}  // namespace

void SimRootTest::TearDown() {
  endProcessesOf(root_);
  if (hadPreviousRoot_) {
    ::setenv("CORVEL_SIM_ROOT", previousRoot_.c_str(), 1);
  } else {
    ::unsetenv("CORVEL_SIM_ROOT");
  }
  std::error_code ignored;
  fs::permissions(root_ / "etc/sudoers.d", fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

std::string SimRootTest::macValue(const std::string& name) const { return sim::readValue(root_, name).value_or(""); }

void SimRootTest::setMacValue(const std::string& name, const std::string& value) const {
  sim::writeValue(root_, name, value);
}

}  // namespace corvel::test
