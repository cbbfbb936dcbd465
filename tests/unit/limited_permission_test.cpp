// The texts behind the limited sudo permission: account names, quoting, the rule and the root commands.
#include "main/remote/limited_permission.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace corvel {
namespace {

constexpr std::string_view kPmsetCommands = "/usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1";

const std::vector<std::string> kSafeNames = {
    "alice", "first.last", "a_b-c", "jöhn", "名前", "-x", ".x", "e\u0301mile" /* combining acute */,
    "x1", "\u0663" /* Arabic-Indic three */, "Alice", "All", "ALL.", "ADMIN-1", "_ADMIN", "1ADMIN", "ADMINÄ",
};

const std::vector<std::string> kUnsafeNames = {
    "", "a b", "a/b", "a'b", "a;b", "a$b", "a\nb", "a\"b", "a\tb", "a\\b", "a:b", "a,b", "a=b", "a#b",
    "%admin", "+group", "a~", "a*", "a`b", "a!b", "a(b)", "a\x7f", std::string("a\0b", 3),
    "\xff", "a\xc3" /* truncated */, "\xc0\xae" /* overlong "." */, "\xed\xa0\x80" /* surrogate */,
    "\xf4\x90\x80\x80" /* past U+10FFFF */, "😀", "a\u3000b" /* full-width space */, "a\u00a0b", "a\u200bb",
};

// A printable form for failure messages, since several names hold control or invalid bytes.
std::string shown(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      static constexpr char hex[] = "0123456789abcdef";
      out += "\\x";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return "«" + out + "»";
}

TEST(AccountNameTest, LettersMarksNumbersAndUnderscoreDashDotOfAnyScriptAreSafe) {
  for (const auto& name : kSafeNames) EXPECT_TRUE(isSafeAccountName(name)) << shown(name);
}

TEST(AccountNameTest, BlanksPunctuationSymbolsControlsAndInvalidUtf8AreUnsafe) {
  for (const auto& name : kUnsafeNames) EXPECT_FALSE(isSafeAccountName(name)) << shown(name);
}

TEST(AccountNameTest, UnsafeNamesGiveNoRuleAndNoCommands) {
  for (const auto& name : kUnsafeNames) {
    EXPECT_EQ(limitedSudoersRule(name), std::nullopt) << shown(name);
    EXPECT_EQ(installPermissionCommand(name), std::nullopt) << shown(name);
    EXPECT_EQ(removePermissionCommand(name), std::nullopt) << shown(name);
  }
}

TEST(QuotingTest, ShellSingleQuoteExamples) {
  const std::pair<std::string, std::string> table[] = {
      {"", "''"},
      {"it's", "'it'\\''s'"},
      {"a b", "'a b'"},
      {"''", "''\\'''\\'''"},
      {"$HOME `id` \\ \"x\"\n*", "'$HOME `id` \\ \"x\"\n*'"},
  };
  for (const auto& [text, quoted] : table) EXPECT_EQ(shellSingleQuote(text), quoted) << shown(text);
}

TEST(QuotingTest, ScriptStringEscaping) {
  const std::pair<std::string, std::string> table[] = {
      {"", ""},
      {"plain 'text'", "plain 'text'"},
      {"\"", "\\\""},
      {"\\", "\\\\"},
      {"\\\"", "\\\\\\\""},
      {"\"\\", "\\\"\\\\"},
      {"\\n", "\\\\n"},
      {"a\nb", "a\nb"},
  };
  for (const auto& [text, escaped] : table) EXPECT_EQ(escapedForScriptString(text), escaped) << shown(text);
}

TEST(QuotingTest, AdministratorScriptWrapsTheEscapedCommand) {
  EXPECT_EQ(administratorScriptSource("echo \"a\\b\""),
            "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges");
}

TEST(SudoersRuleTest, RuleNamesTheAccountAndExactlyTheTwoPmsetCommands) {
  for (const auto& name : kSafeNames) {
    EXPECT_EQ(limitedSudoersRule(name), name + " ALL = (root) NOPASSWD: " + std::string(kPmsetCommands)) << shown(name);
  }
}

// In the user position sudoers reads these as a user alias, defined wherever the main file says,
// or as every user; the rule must not be handed to anyone but the account itself.
TEST(SudoersRuleTest, NamesSudoersReadsAsAnAliasOrAllGetNoRuleAndNoInstall) {
  for (const char* name : {"ALL", "ADMIN", "X", "A_1", "STAFF2"}) {
    ASSERT_TRUE(isSafeAccountName(name)) << name;
    EXPECT_EQ(limitedSudoersRule(name), std::nullopt) << name;
    EXPECT_EQ(installPermissionCommand(name), std::nullopt) << name;
  }
}

TEST(SudoersRuleTest, DropInNamesAndInstalledPaths) {
  const std::pair<std::string, std::string> table[] = {
      {"alice", "corvel-alice"}, {"first.last", "corvel-first+last"}, {".x", "corvel-+x"},
      {"a..b.", "corvel-a++b+"}, {"名前", "corvel-名前"},           {"-x", "corvel--x"},
  };
  for (const auto& [account, dropIn] : table) {
    EXPECT_EQ(sudoersDropInName(account), dropIn) << account;
    EXPECT_EQ(installedPermissionPath(account), "/etc/sudoers.d/" + dropIn) << account;
  }
}

// Every name up to four characters over the alphabet that matters, so a collision or a "." that
// sudo would make it skip the file cannot hide.
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
      ASSERT_TRUE(isSafeAccountName(name)) << name;
      const std::string dropIn = sudoersDropInName(name);
      EXPECT_EQ(dropIn.find('.'), std::string::npos) << name;
      const auto [it, fresh] = ownerOfDropIn.emplace(dropIn, name);
      EXPECT_TRUE(fresh) << name << " and " << it->second << " both give " << dropIn;
    }
    names = std::move(longer);
  }
}

// A fixed name in the world-writable /private/tmp would be a place to plant a link for root to
// follow; the only /private/tmp text allowed is the template of the fresh private folder.
TEST(SudoersRuleTest, InstallNamesNoFixedFileInTheSharedTemporaryFolder) {
  for (const auto& name : kSafeNames) {
    const auto install = installPermissionCommand(name);
    ASSERT_TRUE(install) << shown(name);
    const std::string mktemp = "/usr/bin/mktemp -d '/private/tmp/corvel.XXXXXX'";
    const auto atMktemp = install->find(mktemp);
    ASSERT_NE(atMktemp, std::string::npos) << shown(name);
    const auto first = install->find("/private/tmp");
    EXPECT_EQ(first, atMktemp + mktemp.find("/private/tmp")) << shown(name);
    EXPECT_EQ(install->find("/private/tmp", first + 1), std::string::npos) << shown(name);
  }
}

TEST(SudoersRuleTest, RemoveCommandForAlice) {
  EXPECT_EQ(removePermissionCommand("alice"), "/bin/rm -f '/etc/sudoers.d/corvel-alice'");
}

// The account reaches the root shell line only inside single quotes; nothing a safe name may hold
// can end them.
TEST(SudoersRuleTest, SafeNamesAppearInTheCommandsOnlyAsQuotedWords) {
  for (const auto& name : kSafeNames) {
    const auto install = installPermissionCommand(name);
    ASSERT_TRUE(install) << shown(name);
    EXPECT_NE(install->find(shellSingleQuote(*limitedSudoersRule(name))), std::string::npos) << shown(name);
    EXPECT_NE(install->find(shellSingleQuote(installedPermissionPath(name))), std::string::npos) << shown(name);
    EXPECT_EQ(removePermissionCommand(name), "/bin/rm -f " + shellSingleQuote(installedPermissionPath(name)));
  }
}

}  // namespace
}  // namespace corvel
