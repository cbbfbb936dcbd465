// The permission texts against the real tools that read them: /bin/sh, visudo and the root stand-in.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "main/remote/limited_permission.h"
#include "platform/posix/process_runner_posix.h"
#include "platform/sim/sim_root.h"
#include "platform/sim/system_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

constexpr const char* kVisudo = "/usr/sbin/visudo";

// Random byte strings of length 0..64 without NUL (no shell or script string can hold one), with
// the bytes that quoting gets wrong far more often than chance would pick them.
class ByteStrings {
 public:
  explicit ByteStrings(std::string_view favoured, unsigned seed) : favoured_(favoured), engine_(seed) {}

  std::string next() {
    std::string text(std::uniform_int_distribution<std::size_t>(0, 64)(engine_), '\0');
    for (char& c : text) {
      if (std::bernoulli_distribution(0.5)(engine_)) {
        c = favoured_[std::uniform_int_distribution<std::size_t>(0, favoured_.size() - 1)(engine_)];
      } else {
        c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(engine_));
      }
    }
    return text;
  }

 private:
  std::string favoured_;
  std::mt19937 engine_;
};

// Quotes, blanks, expansions, globs, history, and bytes that are no UTF-8 or that dash and bash
// keep for themselves inside a word (0x01, 0x7f, 0x81..0x88).
const std::string kShellFavoured =
    "''''\"\"\\\\ \t\n\n$`!*?[]{}~#&;|<>()=%\x01\x7f\x81\x82\x83\x84\x86\x87\x88\xc3\xff";

std::vector<std::string> splitOnNul(std::string_view bytes) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\0', start)) != std::string_view::npos; start = end + 1) {
    parts.emplace_back(bytes.substr(start, end - start));
  }
  return parts;
}

std::string fromHexDump(std::string_view dump) {
  std::string bytes;
  int high = -1;
  for (char c : dump) {
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + value));
      high = -1;
    }
  }
  return bytes;
}

// The runner turns away output that is not UTF-8, so the shell hands its bytes back as hex.
TEST(QuotingShellTest, EveryQuotedStringComesBackFromTheRealShellAsItWas) {
  PosixProcessRunner runner;
  ByteStrings strings(kShellFavoured, 20240611);
  // Linux caps one argument at 128 KiB; a batch of the longest quoted strings stays well below it.
  constexpr int batches = 20, perBatch = 200;
  for (int batch = 0; batch < batches; ++batch) {
    std::vector<std::string> sent;
    std::string script = "printf '%s\\0'";
    for (int i = 0; i < perBatch; ++i) {
      sent.push_back(strings.next());
      script += " " + shellSingleQuote(sent.back());
    }
    script += " | /usr/bin/od -An -tx1 -v";
    const auto result = runner.run("/bin/sh", {"-c", script});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto received = splitOnNul(fromHexDump(result.output));
    ASSERT_EQ(received.size(), sent.size()) << "batch " << batch;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      ASSERT_EQ(received[i], sent[i]) << "batch " << batch << ", string " << i << " quoted as "
                                      << shellSingleQuote(sent[i]);
    }
  }
}

TEST(AdminScriptTest, RandomStringsSurviveScriptEscapingAndParsing) {
  ByteStrings strings("\\\\\\\"\"nrt\n \\n", 7);
  for (int i = 0; i < 5000; ++i) {
    const std::string text = strings.next();
    ASSERT_EQ(sim::parseAdministratorScript(administratorScriptSource(text)), text) << i;
  }
}

TEST(AdminScriptTest, RealCommandsSurviveScriptEscapingAndParsing) {
  for (const char* account : {"alice", "first.last", "jöhn", "名前", "-x"}) {
    for (const auto& command : {installPermissionCommand(account), removePermissionCommand(account)}) {
      ASSERT_TRUE(command) << account;
      EXPECT_EQ(sim::parseAdministratorScript(administratorScriptSource(*command)), *command) << account;
    }
  }
}

TEST(AdminScriptTest, ParsingUndoesEachEscapeOfTheScriptLanguage) {
  const std::pair<std::string, std::string> table[] = {
      {R"(a\"b)", "a\"b"}, {R"(a\\b)", "a\\b"}, {R"(\\n)", "\\n"}, {R"(\n)", "\n"},
      {R"(\t\r)", "\t\r"}, {R"(\\\")", "\\\""}, {"", ""},           {"line\nbreak", "line\nbreak"},
  };
  for (const auto& [literal, command] : table) {
    EXPECT_EQ(sim::parseAdministratorScript("do shell script \"" + literal + "\" with administrator privileges"),
              command)
        << literal;
  }
}

TEST(AdminScriptTest, MalformedSourcesGiveNone) {
  const std::string tail = " with administrator privileges";
  const std::string table[] = {
      "do shell script \"a\"b\"" + tail,          // a quote that ends the literal early
      "do shell script \"a\\\"" + tail,           // a lone backslash escaping the closing quote
      "do shell script \"a\\\\\\\"" + tail,       // the same after an escaped backslash
      "do shell script \"a\\q\"" + tail,          // an escape the language does not know
      "do shell script \"a\\'\"" + tail,
      "do shell script 'a'" + tail,
      "Do shell script \"a\"" + tail,
      " do shell script \"a\"" + tail,
      "do shell script \"a\"" + tail + " ",
      "do shell script \"a\"" + tail + "\n",
      "do shell script \"a\"",
      "do shell script \"a\" with administrator privilege",
      "do shell script \"a\" with administrator privileges and password \"x\"",
      "do shell script \"" + tail,
      "",
  };
  for (const auto& source : table) EXPECT_EQ(sim::parseAdministratorScript(source), std::nullopt) << source;
}

TEST(AdminScriptTest, MapsSystemPathsOnlyWhereAPathStarts) {
  const fs::path root = "/srv/sim-1.x_y+z";
  const std::string r = root.string();
  const std::pair<std::string, std::string> table[] = {
      {"/bin/rm -f '/etc/sudoers.d/a'", "/bin/rm -f '" + r + "/etc/sudoers.d/a'"},
      {"cat \"/private/tmp/a\"", "cat \"" + r + "/private/tmp/a\""},
      {"/bin/rm -f /etc/sudoers.d/a /private/tmp/b", "/bin/rm -f " + r + "/etc/sudoers.d/a " + r + "/private/tmp/b"},
      {"/private/tmp/x", r + "/private/tmp/x"},
      {"echo x>/private/tmp/a", "echo x>" + r + "/private/tmp/a"},
      {"d=/private/tmp/a;cat</etc/sudoers.d/b", "d=" + r + "/private/tmp/a;cat<" + r + "/etc/sudoers.d/b"},
      {"x/etc/sudoers.d/a", "x/etc/sudoers.d/a"},
      {"/usr/etc/sudoers.d/a '/my/private/tmp/b'", "/usr/etc/sudoers.d/a '/my/private/tmp/b'"},
      {"$d/private/tmp/a", "$d/private/tmp/a"},
      {"/etc/sudoers.dx /private/tmpx", "/etc/sudoers.dx /private/tmpx"},
      {"", ""},
  };
  for (const auto& [command, mapped] : table) EXPECT_EQ(sim::mapCommandPaths(command, root), mapped) << command;
}

TEST(AdminScriptTest, RootsThatWouldNeedQuotingOrAreNotAbsoluteGiveNone) {
  for (const char* root : {"/tmp/a b", "/tmp/a'b", "/tmp/a\"b", "/tmp/a$b", "/tmp/a\tb", "/tmp/a\\b", "/tmp/é",
                           "", "relative/root"}) {
    EXPECT_EQ(sim::mapCommandPaths("/bin/rm -f '/etc/sudoers.d/a'", root), std::nullopt) << root;
  }
}

std::string currentUser() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry ? entry->pw_name : "";
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class SudoersVisudoTest : public test::SimRootTest {
 protected:
  void SetUp() override {
    SimRootTest::SetUp();
    if (::access(kVisudo, X_OK) != 0) GTEST_SKIP() << kVisudo << " is not installed (Debian package sudo)";
  }

  int visudoCheck(const std::string& contents) {
    const fs::path file = root() / "check.sudoers";
    sim::replaceFileAtomically(file, contents, 0440);
    return runner.run(kVisudo, {"-cf", file.string()}).exitCode;
  }

  PosixProcessRunner runner;
};

TEST_F(SudoersVisudoTest, RuleForEachAccountPassesVisudo) {
  const std::string accounts[] = {currentUser(), "alice", "first.last", "jöhn", "名前", ".x", "-x"};
  for (const auto& account : accounts) {
    const auto rule = limitedSudoersRule(account);
    ASSERT_TRUE(rule) << account;
    EXPECT_EQ(visudoCheck(*rule + "\n"), 0) << *rule;
  }
}

TEST_F(SudoersVisudoTest, BrokenRulesFailVisudo) {
  for (const char* broken : {"alice ALL = (root NOPASSWD: /usr/bin/pmset -a disablesleep 0\n",
                             "alice ALL = (root) NOPASSWD /usr/bin/pmset -a disablesleep 0\n",
                             "Defaults ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0\n"}) {
    EXPECT_NE(visudoCheck(broken), 0) << broken;
  }
}

// Feeds the front end the answers a person would type, and throws away what it shows.
class ScriptedFrontEnd {
 public:
  explicit ScriptedFrontEnd(const std::string& answers)
      : input_(readEndHolding(answers)),
        output_(::open("/dev/null", O_WRONLY | O_CLOEXEC)),
        frontEnd_(input_, output_) {}
  ~ScriptedFrontEnd() {
    ::close(input_);
    ::close(output_);
  }
  ScriptedFrontEnd(const ScriptedFrontEnd&) = delete;
  ScriptedFrontEnd& operator=(const ScriptedFrontEnd&) = delete;

  sim::FrontEnd& frontEnd() { return frontEnd_; }

 private:
  static int readEndHolding(const std::string& answers) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    // Far below the pipe's buffer, so the write cannot block with nobody reading yet.
    const bool whole = ::write(fds[1], answers.data(), answers.size()) == static_cast<ssize_t>(answers.size());
    ::close(fds[1]);
    if (!whole) ::close(fds[0]);
    return whole ? fds[0] : -1;
  }

  int input_;
  int output_;
  sim::FrontEnd frontEnd_;
};

class AdminScriptInstallTest : public SudoersVisudoTest {
 protected:
  bool runAsAdministrator(const std::string& command, const std::string& answers) {
    ScriptedFrontEnd person(answers);
    sim::SimAdministratorScript script(root(), person.frontEnd(), runner);
    return script.execute(administratorScriptSource(command));
  }
  fs::path installed(const std::string& account) { return root() / "etc/sudoers.d" / sudoersDropInName(account); }
  fs::path tmp() { return root() / "private/tmp"; }
};

TEST_F(AdminScriptInstallTest, ApprovedInstallLeavesExactlyTheRuleWithMode440AndNoTemporaryFolder) {
  for (const std::string& account : {currentUser(), std::string("first.last"), std::string("jöhn")}) {
    ASSERT_TRUE(runAsAdministrator(*installPermissionCommand(account), "approve\n")) << account;
    EXPECT_EQ(sim::readFile(installed(account)), *limitedSudoersRule(account) + "\n") << account;
    EXPECT_EQ(modeOf(installed(account)), 0440u) << account;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(installed(account)))) << account;
    EXPECT_EQ(entriesOf(tmp()), std::vector<std::string>{}) << account;
  }
}

TEST_F(AdminScriptInstallTest, NoApprovalMeansNothingWritten) {
  const std::string account = currentUser();
  for (const char* answers : {"cancel\n", "", "yes\nno\n"}) {
    EXPECT_FALSE(runAsAdministrator(*installPermissionCommand(account), answers)) << answers;
    EXPECT_EQ(entriesOf(root() / "etc/sudoers.d"), std::vector<std::string>{}) << answers;
    EXPECT_EQ(entriesOf(tmp()), std::vector<std::string>{}) << answers;
  }
}

TEST_F(AdminScriptInstallTest, AnAnswerAfterUnknownLinesStillCounts) {
  EXPECT_TRUE(runAsAdministrator(*installPermissionCommand("alice"), "yes\napprove\n"));
  EXPECT_TRUE(fs::exists(installed("alice")));
}

TEST_F(AdminScriptInstallTest, MalformedScriptNeverRunsAnything) {
  const std::string command = *installPermissionCommand("alice");
  ScriptedFrontEnd person("approve\n");
  sim::SimAdministratorScript script(root(), person.frontEnd(), runner);
  EXPECT_FALSE(script.execute("do shell script \"" + command + "\" with administrator privileges"));
  EXPECT_FALSE(fs::exists(installed("alice")));
  // The approval was not used up by the refused script.
  EXPECT_TRUE(script.execute(administratorScriptSource(command)));
  EXPECT_TRUE(fs::exists(installed("alice")));
}

// "Defaults" is a safe account name but a keyword to sudoers, so visudo refuses its rule: the
// check must stop the chain before anything reaches the drop-in folder.
TEST_F(AdminScriptInstallTest, RuleVisudoRejectsNeverReachesTheDropInFolder) {
  const auto command = installPermissionCommand("Defaults");
  ASSERT_TRUE(command);
  EXPECT_FALSE(runAsAdministrator(*command, "approve\n"));
  EXPECT_EQ(entriesOf(root() / "etc/sudoers.d"), std::vector<std::string>{});
  EXPECT_EQ(entriesOf(tmp()), std::vector<std::string>{});
}

// Anyone may create names in /private/tmp; what they plant under the old predictable name must
// be neither followed nor touched.
TEST_F(AdminScriptInstallTest, PlantedFilesInTheSharedTemporaryFolderAreLeftAlone) {
  const std::string account = currentUser();
  const fs::path planted = tmp() / (sudoersDropInName(account) + ".sudoers");
  const fs::path victim = root() / "victim";
  for (const bool asLink : {true, false}) {
    sim::replaceFileAtomically(victim, "precious\n", 0644);
    fs::remove(planted);
    if (asLink) {
      fs::create_symlink(victim, planted);
    } else {
      sim::replaceFileAtomically(planted, "planted\n", 0666);
    }
    fs::remove(installed(account));

    ASSERT_TRUE(runAsAdministrator(*installPermissionCommand(account), "approve\n")) << asLink;
    EXPECT_EQ(sim::readFile(victim), "precious\n") << asLink;
    EXPECT_EQ(modeOf(victim), 0644u) << asLink;
    if (asLink) {
      EXPECT_TRUE(fs::is_symlink(planted));
      EXPECT_EQ(fs::read_symlink(planted), victim);
    } else {
      EXPECT_EQ(sim::readFile(planted), "planted\n");
      EXPECT_EQ(modeOf(planted), 0666u);
    }
    EXPECT_EQ(sim::readFile(installed(account)), *limitedSudoersRule(account) + "\n") << asLink;
    EXPECT_EQ(modeOf(installed(account)), 0440u) << asLink;
    EXPECT_EQ(entriesOf(tmp()), std::vector<std::string>{planted.filename().string()}) << asLink;
  }
}

TEST_F(AdminScriptInstallTest, RemoveDeletesTheInstalledDropInAndSucceedsWhenItIsGone) {
  const std::string account = currentUser();
  ASSERT_TRUE(runAsAdministrator(*installPermissionCommand(account), "approve\n"));
  ASSERT_TRUE(fs::exists(installed(account)));
  EXPECT_TRUE(runAsAdministrator(*removePermissionCommand(account), "approve\n"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(installed(account))));
  EXPECT_TRUE(runAsAdministrator(*removePermissionCommand(account), "approve\n"));
}

}  // namespace
}  // namespace corvel
