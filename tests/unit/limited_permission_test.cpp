// The limited sudo permission: account names, quoting, the rule and the root commands, and installing,
// probing and removing it through the administrator script.
#include "main/remote/limited_permission.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using ::testing::PrintToString;

const std::vector<std::string> kSafeNames = {
    "alice",
    "first.last",
    "a_b-c",
    "jöhn",
    "名前",
    "-x",
    ".x",
    "e\u0301mile" /* combining acute */,
    "\u0663" /* Arabic-Indic three */,
    "Alice",
    "All",
    "ALL.",
    "ADMIN-1",
    "_ADMIN",
    "1ADMIN",
    "ADMINÄ",
};

const std::vector<std::string> kUnsafeNames = {
    "",
    "a b",
    "a/b",
    "a'b",
    "a;b",
    "a$b",
    "a\nb",
    "a\"b",
    "a\\b",
    "a:b",
    "a,b",
    "a=b",
    "a#b",
    "%admin",
    "+group",
    "a*",
    "a`b",
    "a!b",
    "a(b)",
    "a\x7f",
    std::string("a\0b", 3),
    "\xff",
    "a\xc3" /* truncated */,
    "\xc0\xae" /* overlong "." */,
    "\xed\xa0\x80" /* surrogate */,
    "\xf4\x90\x80\x80" /* past U+10FFFF */,
    "😀",
    "a\u3000b" /* ideographic space */,
    "a\u00a0b",
    "a\u200bb",
};

TEST(AccountNameTest, LettersMarksNumbersAndUnderscoreDashDotOfAnyScriptOnly) {
  for (const auto& name : kSafeNames) EXPECT_TRUE(isSafeAccountName(name)) << PrintToString(name);
  for (const auto& name : kUnsafeNames) {
    EXPECT_FALSE(isSafeAccountName(name)) << PrintToString(name);
    EXPECT_EQ(limitedSudoersRule(name), std::nullopt) << PrintToString(name);
    EXPECT_EQ(installPermissionCommand(name), std::nullopt) << PrintToString(name);
    EXPECT_EQ(removePermissionCommand(name), std::nullopt) << PrintToString(name);
  }
}

TEST(QuotingTest, ShellWordsAndScriptStrings) {
  EXPECT_EQ(shellSingleQuote(""), "''");
  EXPECT_EQ(shellSingleQuote("it's $HOME"), "'it'\\''s $HOME'");
  // Backslashes are doubled before quotes are escaped, so the added ones are not doubled again.
  EXPECT_EQ(escapedForScriptString("\\\""), "\\\\\\\"");
  EXPECT_EQ(escapedForScriptString("\"\\"), "\\\"\\\\");
  EXPECT_EQ(administratorScriptSource("echo \"a\\b\""),
            "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges");
}

TEST(SudoersRuleTest, TheRuleNamesTheAccountAndExactlyTheTwoPmsetCommands) {
  for (const auto& name : kSafeNames) {
    EXPECT_EQ(limitedSudoersRule(name), name + " ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, "
                                               "/usr/bin/pmset -a disablesleep 1")
        << PrintToString(name);
  }
  // sudoers would read these as every user or as an alias defined elsewhere.
  for (const char* name : {"ALL", "ADMIN", "X", "Z_0", "STAFF9"}) {
    ASSERT_TRUE(isSafeAccountName(name)) << name;
    EXPECT_EQ(limitedSudoersRule(name), std::nullopt) << name;
    EXPECT_EQ(installPermissionCommand(name), std::nullopt) << name;
  }
}

TEST(SudoersRuleTest, DropInNames) {
  EXPECT_EQ(installedPermissionPath("alice"), "/etc/sudoers.d/corvel-alice");
  EXPECT_EQ(sudoersDropInName("a..b."), "corvel-a++b+");
  EXPECT_EQ(sudoersDropInName("名前"), "corvel-名前");
}

// Every name up to four characters over the alphabet that matters, so neither a collision nor a "."
// (which makes sudo skip the file) can hide.
TEST(SudoersRuleTest, DistinctSafeNamesNeverShareADropInAndNoneHoldsADot) {
  const std::string alphabet[] = {"a", ".", "-", "_", "é"};
  std::vector<std::string> names = {""};
  std::map<std::string, std::string> ownerOfDropIn;
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::string> longer;
    for (const auto& name : names) {
      for (const auto& piece : alphabet) longer.push_back(name + piece);
    }
    for (const auto& name : longer) {
      const std::string dropIn = sudoersDropInName(name);
      EXPECT_EQ(dropIn.find('.'), std::string::npos) << name;
      const auto [it, fresh] = ownerOfDropIn.emplace(dropIn, name);
      EXPECT_TRUE(fresh) << name << " and " << it->second << " both give " << dropIn;
    }
    names = std::move(longer);
  }
}

// The account reaches the root shell line only inside single quotes, and the only /private/tmp text
// is the template of a fresh private folder: a fixed name there would let anyone plant a link for
// root to follow.
TEST(SudoersRuleTest, TheRootCommandsQuoteEveryValueAndNameNoSharedTemporaryFile) {
  const std::string mktemp = "/usr/bin/mktemp -d '/private/tmp/corvel.XXXXXX'";
  for (const auto& name : kSafeNames) {
    const auto install = installPermissionCommand(name);
    ASSERT_TRUE(install) << PrintToString(name);
    EXPECT_NE(install->find(shellSingleQuote(*limitedSudoersRule(name))), std::string::npos) << PrintToString(name);
    EXPECT_NE(install->find(" " + shellSingleQuote(installedPermissionPath(name))), std::string::npos);
    const auto atMktemp = install->find(mktemp);
    ASSERT_NE(atMktemp, std::string::npos) << PrintToString(name);
    EXPECT_EQ(install->find("/private/tmp"), atMktemp + mktemp.find("/private/tmp"));
    EXPECT_EQ(install->find("/private/tmp", atMktemp + mktemp.size()), std::string::npos) << PrintToString(name);
    EXPECT_EQ(removePermissionCommand(name), "/bin/rm -f " + shellSingleQuote(installedPermissionPath(name)));
  }
}

class LimitedPermissionTest : public ::testing::Test {
 protected:
  test::FakeMac mac;
  test::FakeClock clock;
  test::FakeEnvironment environment;
  ToolPaths tools = macToolPaths();
  SleepSwitch sleepSwitch{mac, clock, tools};
  LimitedPermission permission{mac, environment, mac, sleepSwitch};
};

TEST_F(LimitedPermissionTest, InstallCountsOnlyARuleThatWorksAndTheProbeChangesNothing) {
  EXPECT_TRUE(permission.installLimitedPermission());
  EXPECT_EQ(mac.scripts, (test::Strings{administratorScriptSource(*installPermissionCommand("alice"))}));
  mac.pmsetChangeWorks = false;  // so a probe that changed the value would fail
  for (bool disabled : {true, false}) {
    mac.sleepDisabled = disabled;
    EXPECT_TRUE(permission.hasLimitedPermission());
  }
  mac.installedRuleWorks = false;
  EXPECT_FALSE(permission.installLimitedPermission());
  mac.calls.clear();
  mac.administratorApproves = false;
  EXPECT_FALSE(permission.installLimitedPermission());
  EXPECT_TRUE(mac.calls.empty());  // no probe after a refused approval
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
  environment.user = mac.account = "a b";
  mac.ruleInstalled = true;
  EXPECT_FALSE(permission.installLimitedPermission());
  EXPECT_FALSE(permission.removeLimitedPermission());
  EXPECT_EQ(mac.scripts.size(), 2u);
}

}  // namespace
}  // namespace corvel
