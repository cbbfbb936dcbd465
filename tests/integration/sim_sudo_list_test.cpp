// The simulated sudo's -l: says whether a command would run without a password, and runs nothing.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>

#include "adapters/posix/process_runner_posix.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using Args = std::vector<std::string>;

class SimSudoList : public test::SimRootTest {
 protected:
  // What sudo with `args` prints, its exit status, then the line on its input that it must leave
  // unread.
  std::string list(const Args& args, const std::string& environment = "CORVEL_SIM_PRIVILEGED=") {
    Args command{"-c", "printf 'unread\\n' | { env \"$0\" \"$@\"; echo \"exit $?\"; cat; }", environment,
                 test::simTool("sudo")};
    command.insert(command.end(), args.begin(), args.end());
    return PosixProcessRunner().run("/bin/sh", command).output;
  }
  void rule(const std::string& commands) {
    const fs::path file = root() / "etc/sudoers.d/corvel-me";
    std::ofstream(file) << ::getpwuid(::getuid())->pw_name << " ALL = (root) NOPASSWD: " << commands << "\n";
    fs::permissions(file, static_cast<fs::perms>(0440));
  }
};

TEST_F(SimSudoList, ListsWhatWouldRunWithoutAPasswordAndRunsNothing) {
  const std::string both = "/usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1";
  const std::string listed = "/usr/bin/pmset -a disablesleep 1\nexit 0\nunread\n", refused = "exit 1\nunread\n";
  const std::string usage = "sudo: this simulated sudo only runs: sudo -n [-l] <absolute command> [argument ...]\n";
  const fs::path absent = root() / "absent";
  const struct {
    std::string rules;  // "" for none
    Args options;
    std::string environment, output;
  } rows[] = {
      {both, {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", listed},
      {both, {"-l", "-n"}, "CORVEL_SIM_PRIVILEGED=", listed},
      {"", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", refused},
      {"/usr/bin/pmset -a disablesleep 0", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", refused},
      {"", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=1", listed},  // root needs no rule
      {both, {"-l"}, "CORVEL_SIM_PRIVILEGED=", usage + refused},
      {both, {"-n", "-l", "-l"}, "CORVEL_SIM_PRIVILEGED=", usage + refused},
      {both, {"-n", "-l"}, "CORVEL_SIM_ROOT=" + absent.string(), refused},  // and it stays missing
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.rules + " " + testing::PrintToString(row.options) + " " + row.environment);
    fs::remove_all(root() / "etc/sudoers.d" / "corvel-me");
    if (!row.rules.empty()) rule(row.rules);
    Args args = row.options;
    args.insert(args.end(), {"/usr/bin/pmset", "-a", "disablesleep", "1"});
    EXPECT_EQ(list(args, row.environment), row.output);
    EXPECT_EQ(macValue("disablesleep"), "");
  }
  EXPECT_FALSE(fs::exists(absent));
}

}  // namespace
}  // namespace corvel
