// The limited sudo permission: account names, quoting, the rule and the root commands, and installing,
// probing and removing it through the administrator script.
#include "tests/unit/fakes.h"

namespace corvel::test {
namespace {

using ::testing::PrintToString;

// Letters, marks and numbers of any script, and "_-."; the last five would read as aliases if upper case
// only, and do not.
const std::vector<std::string> kSafeNames = {"alice",       "first.last", "a_b-c", "名前", "-x",
                                             "e\u0301mile", "\u0663",     "All",   "ALL.", "ADMIN-1",
                                             "_ADMIN",      "1ADMIN",     "ADMINÄ"};

// Among them a cut-short sequence and an overlong ".".
const std::vector<std::string> kUnsafeNames = {
    "", "a b", "a/b", "a'b", "a\"b", "a\\b", "%admin", std::string("a\0b", 3), "a\xc3", "\xc0\xae", "😀", "a\u00a0b"};

TEST(AccountNameTest, UnsafeNamesAndNamesSudoersReadsAsAliasesGetNoRule) {
  for (const auto& name : kUnsafeNames) {
    SCOPED_TRACE(PrintToString(name));
    EXPECT_FALSE(isSafeAccountName(name));
    EXPECT_EQ(installPermissionCommand(name), std::nullopt);
    EXPECT_EQ(removePermissionCommand(name), std::nullopt);
  }
  // sudoers would read these as every user or as an alias defined elsewhere.
  for (const char* name : {"ALL", "ADMIN", "X", "Z_0", "STAFF9"})
    EXPECT_TRUE(isSafeAccountName(name) && !installPermissionCommand(name)) << name;
}

TEST(QuotingTest, ShellWordsScriptStringsDropInNamesAndTheRuleAndRootCommandsOfEverySafeName) {
  EXPECT_EQ(shellSingleQuote(""), "''");
  EXPECT_EQ(shellSingleQuote("it's $HOME"), "'it'\\''s $HOME'");
  // Backslashes are doubled before quotes are escaped, so the added ones are not doubled again.
  EXPECT_EQ(escapedForScriptString("\\\""), "\\\\\\\"");
  EXPECT_EQ(administratorScriptSource("echo \"a\\b\""),
            "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges");
  // sudo skips a drop-in whose name holds a ".", and no account name holds a "+".
  EXPECT_EQ(installedPermissionPath("a..b."), "/etc/sudoers.d/corvel-a++b+");
  // The account reaches the root shell line only inside single quotes, and the only /private/tmp text
  // is the template of a fresh private folder: a fixed name there would let anyone plant a link for
  // root to follow.
  const std::string mktemp = "/usr/bin/mktemp -d '/private/tmp/corvel.XXXXXX'";
  for (const auto& name : kSafeNames) {
    SCOPED_TRACE(PrintToString(name));
    EXPECT_EQ(limitedSudoersRule(name),
              name + " ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1");
    const auto install = installPermissionCommand(name);
    ASSERT_TRUE(install);
    EXPECT_NE(install->find(shellSingleQuote(*limitedSudoersRule(name))), std::string::npos);
    EXPECT_NE(install->find(" " + shellSingleQuote(installedPermissionPath(name))), std::string::npos);
    const auto atMktemp = install->find(mktemp);
    ASSERT_NE(atMktemp, std::string::npos);
    EXPECT_EQ(install->find("/private/tmp"), atMktemp + mktemp.find("/private/tmp"));
    EXPECT_EQ(install->find("/private/tmp", atMktemp + mktemp.size()), std::string::npos);
    EXPECT_EQ(removePermissionCommand(name), "/bin/rm -f " + shellSingleQuote(installedPermissionPath(name)));
  }
}

struct LimitedPermissionTest : ::testing::Test, Rig {};

TEST_F(LimitedPermissionTest, InstallCountsOnlyARuleThatWorksAndTheProbeChangesNothing) {
  EXPECT_TRUE(permission.installLimitedPermission());
  EXPECT_EQ(
      mac.scripts.at(0),
      "do shell script \"d=$(/usr/bin/mktemp -d '/private/tmp/corvel.XXXXXX') && "
      "/usr/bin/printf '%s\\\\n' 'alice ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, "
      "/usr/bin/pmset -a disablesleep 1' > \\\"$d\\\"/'corvel-alice.sudoers' && "
      "/bin/chmod 440 \\\"$d\\\"/'corvel-alice.sudoers' && /usr/sbin/visudo -cf \\\"$d\\\"/'corvel-alice.sudoers' && "
      "/bin/mv \\\"$d\\\"/'corvel-alice.sudoers' '/etc/sudoers.d/corvel-alice' && "
      "/bin/chmod 440 '/etc/sudoers.d/corvel-alice'; s=$?; [ -n \\\"$d\\\" ] && /bin/rm -rf \\\"$d\\\"; "
      "exit $s\" with administrator privileges");
  mac.pmsetChangeWorks = false;  // so a probe that changed the value would fail
  for (bool disabled : {true, false}) {
    mac.sleepDisabled = disabled;
    EXPECT_TRUE(permission.hasLimitedPermission());
  }
  mac.installedRuleWorks = false;
  EXPECT_FALSE(permission.installLimitedPermission());
  mac.administratorApproves = false;
  EXPECT_FALSE(permission.installLimitedPermission());
}

// A pmset -g ended at its time limit, one that failed or one that said nothing: the probe must not
// re-set a guess, the wait must take it for neither value, the refresh, which reads it on the event
// loop, must not wait on it long, and a restore must not count it as allowed.
TEST_F(LimitedPermissionTest, ASleepSwitchThatGivesNoAnswerIsNeitherValueAndIsNeverReSet) {
  remoteStrong();
  mac.sleepDisabled = true;
  for (const ProcessResult& silent :
       {ProcessResult{ProcessResult::EndedAtLimit, "", LimitExceeded::time},
        ProcessResult{1, "pmset: the power settings cannot be read\n"}, ProcessResult{0, ""}}) {
    SCOPED_TRACE(silent.exitCode);
    mac.answers["/usr/bin/pmset -g"] = silent;
    EXPECT_FALSE(permission.hasLimitedPermission());
    EXPECT_TRUE(mac.sleepDisabled);
    for (bool wanted : {true, false}) EXPECT_FALSE(sleepSwitch.waitForSleepDisabled(wanted, {})) << wanted;
    display.refreshStatus();
    EXPECT_LE(mac.timeLimits.at("/usr/bin/pmset -g"), std::chrono::seconds(1));
    // Nor is a switch that cannot be read reported as put back.
    EXPECT_FALSE(remoteMode.restoreRemoteSettings());
  }
}

TEST_F(LimitedPermissionTest, RemoveAsksOnlyWhenTheDropInIsThereAndNeverForAnUnsafeName) {
  EXPECT_TRUE(permission.removeLimitedPermission());
  EXPECT_TRUE(mac.scripts.empty());
  mac.ruleInstalled = true;
  mac.administratorApproves = false;
  EXPECT_FALSE(permission.removeLimitedPermission());
  mac.administratorApproves = true;
  EXPECT_TRUE(permission.removeLimitedPermission());
  EXPECT_EQ(mac.scripts.back(), administratorScriptSource(*removePermissionCommand("alice")));
  EXPECT_FALSE(mac.ruleInstalled);
  mac.account = "a b";
  mac.ruleInstalled = true;
  EXPECT_FALSE(permission.installLimitedPermission());
  EXPECT_FALSE(permission.removeLimitedPermission());
  EXPECT_EQ(mac.scripts.size(), 2u);
}

}  // namespace
}  // namespace corvel::test
