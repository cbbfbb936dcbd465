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
  void rule(const std::string& commands, const std::string& name = "corvel-me") {
    const fs::path file = root() / "etc/sudoers.d" / name;
    std::ofstream(file) << ::getpwuid(::getuid())->pw_name << " ALL = (root) NOPASSWD: " << commands << "\n";
    fs::permissions(file, static_cast<fs::perms>(0440));
  }
};

const Args Pmset1 = {"/usr/bin/pmset", "-a", "disablesleep", "1"};
const std::string Both = "/usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1";

TEST_F(SimSudoList, ListsWhatWouldRunWithoutAPasswordAndRunsNothing) {
  const std::string listed = "/usr/bin/pmset -a disablesleep 1\nexit 0\nunread\n", refused = "exit 1\nunread\n";
  const std::string usage = "sudo: this simulated sudo only runs: sudo -n [-l] <absolute command> [argument ...]\n";
  const struct {
    const char* name;
    std::string rules;  // "" for none
    Args options;
    std::string environment, output;
  } rows[] = {
      {"Corvel's rule", Both, {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", listed},
      {"options either way", Both, {"-l", "-n"}, "CORVEL_SIM_PRIVILEGED=", listed},
      {"no rule", "", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", refused},
      {"the other value only", "/usr/bin/pmset -a disablesleep 0", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=", refused},
      {"root needs no rule", "", {"-n", "-l"}, "CORVEL_SIM_PRIVILEGED=1", listed},
      {"never without -n", Both, {"-l"}, "CORVEL_SIM_PRIVILEGED=", usage + refused},
      {"an option twice", Both, {"-n", "-l", "-l"}, "CORVEL_SIM_PRIVILEGED=", usage + refused},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(root() / "etc/sudoers.d" / "corvel-me");
    if (!row.rules.empty()) rule(row.rules);
    Args args = row.options;
    args.insert(args.end(), Pmset1.begin(), Pmset1.end());
    EXPECT_EQ(list(args, row.environment), row.output);
    EXPECT_EQ(macValue("disablesleep"), "");
  }
  // Listing reads the rules as running does: a broken drop-in refuses everything.
  rule(Both);
  std::ofstream(root() / "etc/sudoers.d/zz") << "nonsense\n";
  EXPECT_EQ(list({"-n", "-l", "/usr/bin/pmset"}).rfind("sudo: parse error in ", 0), 0u);
}

TEST_F(SimSudoList, ListingLeavesAMissingMachineMissing) {
  const fs::path absent = root() / "absent";
  EXPECT_EQ(list({"-n", "-l", "/usr/bin/pmset"}, "CORVEL_SIM_ROOT=" + absent.string()), "exit 1\nunread\n");
  EXPECT_FALSE(fs::exists(absent));
}

}  // namespace
}  // namespace corvel
