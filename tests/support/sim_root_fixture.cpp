// A fresh simulated Mac per test.
#include "sim_root_fixture.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "platform/sim/sim_root.h"

namespace corvel::test {
namespace fs = std::filesystem;

fs::path binFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return fs::path(std::string(path, n > 0 ? static_cast<std::size_t>(n) : 0)).parent_path();
}

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

void SimRootTest::TearDown() {
  if (hadPreviousRoot_) {
    ::setenv("CORVEL_SIM_ROOT", previousRoot_.c_str(), 1);
  } else {
    ::unsetenv("CORVEL_SIM_ROOT");
  }
  std::error_code ignored;
  fs::permissions(root_ / "etc/sudoers.d", fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

std::string SimRootTest::macValue(const std::string& name) const {
  return sim::readValue(root_, name).value_or("");
}

void SimRootTest::setMacValue(const std::string& name, const std::string& value) const {
  sim::writeValue(root_, name, value);
}

}  // namespace corvel::test
