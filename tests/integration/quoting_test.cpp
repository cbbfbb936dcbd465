// The permission texts against the real tools that read them: /bin/sh, visudo and the root stand-in.
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "main/remote/limited_permission.h"
#include "adapters/posix/process_runner_posix.h"
#include "sim/sim_root.h"
#include "sim/system_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr const char* kVisudo = "/usr/sbin/visudo";

// Random byte strings of length 0..64 without NUL (no shell or script string can hold one), half of
// whose bytes are those that quoting gets wrong far more often than chance would pick them.
std::function<std::string()> byteStrings(std::string favoured, unsigned seed) {
  return [favoured, engine = std::mt19937(seed)]() mutable {
    std::string text(std::uniform_int_distribution<std::size_t>(0, 64)(engine), '\0');
    for (char& c : text) {
      c = std::bernoulli_distribution(0.5)(engine)
              ? favoured[std::uniform_int_distribution<std::size_t>(0, favoured.size() - 1)(engine)]
              : static_cast<char>(std::uniform_int_distribution<int>(1, 255)(engine));
    }
    return text;
  };
}

// od's hex dump back into the NUL-terminated strings printf wrote.
Names stringsFromHexDump(const std::string& dump) {
  std::istringstream bytes(dump);
  Names strings(1);
  for (unsigned byte; bytes >> std::hex >> byte;) {
    if (byte == 0) {
      strings.emplace_back();
    } else {
      strings.back().push_back(static_cast<char>(byte));
    }
  }
  strings.pop_back();
  return strings;
}

// The runner turns away output that is not UTF-8, so the shell hands its bytes back as hex.
TEST(QuotingShellTest, EveryQuotedStringComesBackFromTheRealShellAsItWas) {
  // Quotes, blanks, expansions, globs, history, and bytes that are no UTF-8 or that dash and bash
  // keep for themselves inside a word (0x01, 0x7f, 0x81..0x88).
  auto next =
      byteStrings("''''\"\"\\\\ \t\n\n$`!*?[]{}~#&;|<>()=%\x01\x7f\x81\x82\x83\x84\x86\x87\x88\xc3\xff", 20240611);
  // Linux caps one argument at 128 KiB; a batch of the longest quoted strings stays well below it.
  for (int batch = 0; batch < 20; ++batch) {
    Names sent;
    std::string script = "printf '%s\\0'";
    for (int i = 0; i < 200; ++i) script += " " + shellSingleQuote(sent.emplace_back(next()));
    const auto result = PosixProcessRunner().run("/bin/sh", {"-c", script + " | /usr/bin/od -An -tx1 -v"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto received = stringsFromHexDump(result.output);
    ASSERT_EQ(received.size(), sent.size()) << "batch " << batch;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      ASSERT_EQ(received[i], sent[i]) << "string " << batch << "/" << i << " quoted as " << shellSingleQuote(sent[i]);
    }
  }
}

TEST(AdminScriptTest, RandomStringsSurviveScriptEscapingAndParsing) {
  auto next = byteStrings("\\\\\\\"\"nrt\n \\n", 7);
  for (int i = 0; i < 5000; ++i) {
    const std::string text = next();
    ASSERT_EQ(sim::parseAdministratorScript(administratorScriptSource(text)), text) << i;
  }
}

// Where the product would hand the real script runner a malformed string, the stand-in must refuse it.
TEST(AdminScriptTest, ParsingRefusesEveryOtherForm) {
  const std::string head = "do shell script \"", tail = " with administrator privileges";
  for (const std::string& source :
       {head + "a\"b\"" + tail, head + "a\\\\\\\"" + tail, head + "a\\q\"" + tail, " " + head + "a\"" + tail,
        head + "a\"" + tail + "\n", head + "a\"", head + "a\"" + tail + " and password \"x\""}) {
    EXPECT_EQ(sim::parseAdministratorScript(source), std::nullopt) << source;
  }
}

TEST(AdminScriptTest, MapsSystemPathsOnlyWhereAPathStartsAndOnlyUnderAnAbsoluteRoot) {
  const fs::path root = "/srv/sim-1.x_y+z";
  const std::string r = root.string();
  const std::pair<std::string, std::string> table[] = {
      {"/bin/rm -f '/etc/sudoers.d/a'", "/bin/rm -f '" + r + "/etc/sudoers.d/a'"},
      {"cat \"/private/tmp/a\"", "cat \"" + r + "/private/tmp/a\""},
      {"/bin/rm -f /etc/sudoers.d/a /private/tmp/b", "/bin/rm -f " + r + "/etc/sudoers.d/a " + r + "/private/tmp/b"},
      {"/private/tmp/x", r + "/private/tmp/x"},
      {"echo x>/private/tmp/a", "echo x>" + r + "/private/tmp/a"},
      {"d=/private/tmp/a;cat</etc/sudoers.d/b", "d=" + r + "/private/tmp/a;cat<" + r + "/etc/sudoers.d/b"},
  };
  for (const auto& [command, mapped] : table) EXPECT_EQ(sim::mapCommandPaths(command, root), mapped) << command;
  for (const char* unmapped : {"x/etc/sudoers.d/a", "/usr/etc/sudoers.d/a '/my/private/tmp/b'", "$d/private/tmp/a",
                               "/etc/sudoers.dx /private/tmpx", ""}) {
    EXPECT_EQ(sim::mapCommandPaths(unmapped, root), unmapped);
  }
  for (const char* bad : {"", "relative/root"}) {
    EXPECT_EQ(sim::mapCommandPaths("/bin/rm -f '/etc/sudoers.d/a'", bad), std::nullopt) << bad;
  }
}

// Root names that need quoting, each where a shell would read something into it.
const char* const OddRootNames[] = {
    "a b", "a'b", "a\"b\\", "$(touch ran)", "`touch ran`", "${x:-ran}é", "\t*?[a]{b,c}~!#&|;<>\\$x"};

// Every place a path can stand in the shell's language reads back, mapped, under the very root.
TEST(AdminScriptTest, AnOddRootReadsBackAsItselfWhereverThePathStands) {
  const std::string command =
      "printf '%s\\n' /private/tmp/a '/private/tmp/b' \"/private/tmp/c\" \"$(printf %s '/private/tmp/d')\" "
      "\"`printf %s /private/tmp/e`\" \"$(printf %s \"$(printf %s /private/tmp/f)\")\"";
  for (const char* name : OddRootNames) {
    const fs::path root = fs::path("/nonexistent") / name;
    const auto mapped = sim::mapCommandPaths(command, root);
    ASSERT_TRUE(mapped) << name;
    std::string expected;
    for (char c = 'a'; c <= 'f'; ++c) expected += root.string() + "/private/tmp/" + c + "\n";
    EXPECT_EQ(PosixProcessRunner().run("/bin/sh", {"-c", *mapped}).output, expected) << name << "\n" << *mapped;
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

Names entriesOf(const fs::path& folder) {
  Names names;
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
  PosixProcessRunner runner;
};

int pipeHolding(const std::string& text) {
  int fds[2] = {-1, -1};
  EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  // Far below the pipe's buffer, so the write cannot block with nobody reading yet.
  EXPECT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fds[1]);
  return fds[0];
}

// Feeds the front end the answers a person would type, and throws away what it shows.
struct ScriptedPerson {
  explicit ScriptedPerson(const std::string& answers) : input(pipeHolding(answers)), frontEnd(input, output) {}
  ~ScriptedPerson() {
    ::close(input);
    ::close(output);
  }
  int input;
  int output = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  sim::FrontEnd frontEnd;
};

class AdminScriptInstallTest : public SudoersVisudoTest {
 protected:
  bool runAsAdministrator(const std::string& command, const std::string& answers) {
    ScriptedPerson person(answers);
    return sim::SimAdministratorScript(root(), person.frontEnd, runner).execute(administratorScriptSource(command));
  }
  fs::path installed(const std::string& account) { return root() / "etc/sudoers.d" / sudoersDropInName(account); }
  fs::path tmp() { return root() / "private/tmp"; }
};

// The sim root's path is the user's to choose; whatever it holds, the paths mapped under it reach
// the shell as they are, and nothing in them is run.
TEST_F(AdminScriptInstallTest, ARootOfAnyNameTakesTheRuleAndNothingInItRuns) {
  const std::string account = currentUser();
  for (const char* name : OddRootNames) {
    SCOPED_TRACE(name);
    const fs::path odd = root() / name;
    sim::ensureInitialized(odd);
    ScriptedPerson person("approve\napprove\n");
    sim::SimAdministratorScript script(odd, person.frontEnd, runner);
    ASSERT_TRUE(script.execute(administratorScriptSource(*installPermissionCommand(account))));
    EXPECT_EQ(sim::readFile(odd / "etc/sudoers.d" / sudoersDropInName(account)), *limitedSudoersRule(account) + "\n");
    EXPECT_EQ(entriesOf(odd / "private/tmp"), Names{});
    ASSERT_TRUE(script.execute(administratorScriptSource(*removePermissionCommand(account))));
    EXPECT_EQ(entriesOf(odd / "etc/sudoers.d"), Names{});
    EXPECT_FALSE(fs::exists("ran"));
    EXPECT_FALSE(fs::exists(root() / "ran"));
  }
}

// The real visudo checks each rule: names with a dot or beyond ASCII pass, and "Defaults", a safe
// account name but a keyword to sudoers, fails, which must stop the chain before anything reaches the
// drop-in folder.
TEST_F(AdminScriptInstallTest, ARuleLandsWithMode440OnlyWhenApprovedAndAcceptedByVisudo) {
  const std::tuple<std::string, const char*, bool> cases[] = {
      {"first.last", "approve\n", true},  {"jöhn", "yes\napprove\n", true},   {"名前", "approve\n", true},
      {currentUser(), "approve\n", true}, {currentUser(), "cancel\n", false}, {currentUser(), "", false},
      {"Defaults", "approve\n", false}};
  for (const auto& [account, answers, lands] : cases) {
    SCOPED_TRACE(account + " answering " + answers);
    EXPECT_EQ(runAsAdministrator(*installPermissionCommand(account), answers), lands);
    EXPECT_EQ(sim::readFile(installed(account)),
              lands ? std::optional(*limitedSudoersRule(account) + "\n") : std::nullopt);
    EXPECT_EQ(modeOf(installed(account)), lands ? 0440u : 0u);
    EXPECT_EQ(entriesOf(tmp()), Names{});
    EXPECT_TRUE(runAsAdministrator(*removePermissionCommand(account), "approve\n"));
    EXPECT_EQ(entriesOf(root() / "etc/sudoers.d"), Names{});
  }
}

// Anyone may create names in /private/tmp; what they plant under the old predictable name must be
// neither followed nor touched.
TEST_F(AdminScriptInstallTest, PlantedFilesInTheSharedTemporaryFolderAreLeftAlone) {
  const std::string account = currentUser();
  const fs::path planted = tmp() / (sudoersDropInName(account) + ".sudoers"), victim = root() / "victim";
  for (const bool asLink : {true, false}) {
    SCOPED_TRACE(asLink ? "link" : "file");
    sim::replaceFileAtomically(victim, "precious\n", 0644);
    fs::remove(planted);
    fs::remove(installed(account));
    if (asLink) {
      fs::create_symlink(victim, planted);
    } else {
      sim::replaceFileAtomically(planted, "planted\n", 0666);
    }
    ASSERT_TRUE(runAsAdministrator(*installPermissionCommand(account), "approve\n"));
    EXPECT_EQ(sim::readFile(victim), "precious\n");
    EXPECT_EQ(modeOf(victim), 0644u);
    if (asLink) {
      EXPECT_TRUE(fs::is_symlink(planted) && fs::read_symlink(planted) == victim);
    } else {
      EXPECT_EQ(sim::readFile(planted), "planted\n");
      EXPECT_EQ(modeOf(planted), 0666u);
    }
    EXPECT_EQ(sim::readFile(installed(account)), *limitedSudoersRule(account) + "\n");
    EXPECT_EQ(modeOf(installed(account)), 0440u);
    EXPECT_EQ(entriesOf(tmp()), Names{planted.filename().string()});
  }
}

}  // namespace
}  // namespace corvel
