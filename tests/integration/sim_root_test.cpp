// Where the simulated Mac lies when nothing names it.
#include <cstdlib>
#include <map>
#include <optional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "sim/sim_root.h"

namespace corvel::sim {
namespace {

// Without HOME the fallback must not be a world-writable folder where others can plant files.
TEST(SimRootFolder, WithoutHomeItLiesInTheAccountsHomeFolder) {
  std::map<std::string, std::optional<std::string>> saved;
  for (const char* name : {"CORVEL_SIM_ROOT", "XDG_STATE_HOME", "HOME"}) {
    const char* value = std::getenv(name);
    saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
    ::unsetenv(name);
  }
  const passwd* account = ::getpwuid(::getuid());
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(rootFolder(), std::filesystem::path(account->pw_dir) / ".local/state/corvel-sim");
  for (const auto& [name, value] : saved) {
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
  }
}

}  // namespace
}  // namespace corvel::sim
