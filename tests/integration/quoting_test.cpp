// What the person at the screen types, against hostile input, and the permission texts against the
// real tools that read them: /bin/sh, visudo and the root stand-in.
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

#include "main/remote/limited_permission.h"
#include "adapters/posix/process_runner_posix.h"
#include "sim/dialogs_sim.h"
#include "sim/sim_root.h"
#include "sim/system_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {

using test::Unhurried;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A front end reading what was typed from a file (so any length fits) and showing on a file.
struct Typed {
  Typed(const fs::path& folder, const std::string& typed)
      : input((sim::replaceFileAtomically(folder / "typed", typed), ::open((folder / "typed").c_str(), O_RDONLY))),
        screen(folder / "screen"),
        output(::open(screen.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {}
  ~Typed() { ::close(input), ::close(output); }
  std::string shown() const { return sim::readFile(screen).value_or(""); }
  int input;
  fs::path screen;
  int output;
  sim::FrontEnd frontEnd{input, output};
};

class Screen : public test::SimRootTest {};

TEST_F(Screen, ALineOverTheCapIsDroppedWithOneExplanation) {
  Typed typed(root(), std::string(4096, 'a') + "\n" + std::string(4097, 'b') + "\r\n" + std::string(1 << 20, 'c') +
                          "\nclick\n");
  EXPECT_TRUE(typed.frontEnd.readLine() == std::string(4096, 'a'));
  EXPECT_EQ(typed.frontEnd.readLine(), "click");
  EXPECT_EQ(typed.frontEnd.readLine(), std::nullopt);
  const std::string screen = typed.shown();
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 2) << screen.substr(0, 200);
  EXPECT_TRUE(screen.find("bbb") == std::string::npos && screen.find("ccc") == std::string::npos);
}

// Anyone who can write to the pipe would otherwise drive the user's terminal, and a password typed
// at the wrong moment would be shown and logged. The desktop's own lines are the end-to-end test's.
TEST_F(Screen, ALineNotUnderstoodIsNeverRepeatedButTheChoicesAreNamed) {
  const std::string hostile = "pass\x1b]0;word\x07";
  for (const bool alert : {false, true}) {
    const char* const named = alert ? "続ける" : "approve / cancel";
    SCOPED_TRACE(named);
    Typed typed(root(), hostile + "\napprove\n1\n");
    const AlertRequest request{"m", "", AlertStyle::warning, {"続ける", "やめる"}, std::nullopt};
    EXPECT_TRUE(alert ? sim::SimAlerts(typed.frontEnd).runModal(request).pressedButton == 0
                      : typed.frontEnd.ask("?", {"approve", "cancel"}) == "approve");
    const std::string screen = typed.shown();
    EXPECT_EQ(screen.find("pass"), std::string::npos) << screen;
    EXPECT_EQ(screen.find('\x1b'), std::string::npos) << screen;
    EXPECT_NE(screen.find(named, screen.find("分かりません")), std::string::npos) << screen;
  }
}

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
    const auto result = PosixProcessRunner().run("/bin/sh", {"-c", script + " | /usr/bin/od -An -tx1 -v"}, Unhurried);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::istringstream bytes(result.output);
    Names received(1);
    for (unsigned byte; bytes >> std::hex >> byte;)
      byte ? received.back().push_back(static_cast<char>(byte)) : received.emplace_back().clear();
    received.pop_back();
    ASSERT_EQ(received, sent) << "batch " << batch;
  }
}

// Where the product would hand the real script runner a malformed string, the stand-in must refuse it.
TEST(AdminScriptTest, RandomStringsSurviveEscapingAndEveryOtherFormIsRefused) {
  auto next = byteStrings("\\\\\\\"\"nrt\n \\n", 7);
  for (int i = 0; i < 5000; ++i) {
    const std::string text = next();
    ASSERT_EQ(sim::parseAdministratorScript(administratorScriptSource(text)), text) << i;
  }
  const std::string head = "do shell script \"", tail = " with administrator privileges";
  for (const std::string& source : {head + "a\"b\"" + tail, head + "a\\\\\\\"" + tail, head + "a\\q\"" + tail,
                                    head + "a\"" + tail + "\n", head + "a\"" + tail + " and password \"x\""})
    EXPECT_EQ(sim::parseAdministratorScript(source), std::nullopt) << source;
}

TEST(AdminScriptTest, MapsSystemPathsOnlyWhereAPathStartsAndOnlyUnderAnAbsoluteRoot) {
  const std::string command = "/private/tmp/x d=/private/tmp/a;cat</etc/sudoers.d/b '/etc/sudoers.d/c' "
                              "x/etc/sudoers.d/d '/my/private/tmp/e' $d/private/tmp/f /etc/sudoers.dx";
  EXPECT_EQ(sim::mapCommandPaths(command, "/srv"),
            "/srv/private/tmp/x d=/srv/private/tmp/a;cat</srv/etc/sudoers.d/b '/srv/etc/sudoers.d/c' "
            "x/etc/sudoers.d/d '/my/private/tmp/e' $d/private/tmp/f /etc/sudoers.dx");
  EXPECT_EQ(sim::mapCommandPaths(command, "relative/root"), std::nullopt);
  // The power tool where it runs, never where it is text (the sudoers rule) or part of a longer name.
  EXPECT_EQ(sim::mapCommandPaths("/usr/bin/pmset -a x; printf '/usr/bin/pmset' /usr/bin/pmsetx && $(/usr/bin/pmset)",
                                 "/srv", "/sim/pm set"),
            "'/sim/pm set' -a x; printf '/usr/bin/pmset' /usr/bin/pmsetx && $('/sim/pm set')");
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class AdminScriptInstallTest : public Screen {
 protected:
  void SetUp() override {
    Screen::SetUp();
    if (::access("/usr/sbin/visudo", X_OK) != 0) GTEST_SKIP() << "visudo is not installed (Debian package sudo)";
  }
  bool runAsAdministrator(const std::string& command, const std::string& answers) {
    Typed person(root(), answers);
    return sim::SimAdministratorScript(root(), person.frontEnd, runner).execute(administratorScriptSource(command));
  }
  fs::path installed(const std::string& account) { return root() / "etc/sudoers.d" / sudoersDropInName(account); }
  fs::path tmp() { return root() / "private/tmp"; }
  const std::string user = ::getpwuid(::geteuid())->pw_name;
  PosixProcessRunner runner;
};

// The sim root's path is the user's to choose; whatever it holds, every place a path can stand in the
// shell's language (all the places the rule's commands put one) reads back under the very root, and
// nothing in the name runs. The unit tests pin those commands' text, quotes and all.
TEST_F(AdminScriptInstallTest, ARootOfAnyNameReadsBackAsItselfAndRunsNothing) {
  const std::string command =
      "printf '%s\\n' /private/tmp/a '/private/tmp/b' \"/private/tmp/c\" \"$(printf %s '/private/tmp/d')\" "
      "\"`printf %s /private/tmp/e`\" \"$(printf %s \"$(printf %s /private/tmp/f)\")\"";
  for (const char* name :
       {"a b", "a'b", "a\"b\\", "$(touch ran)", "`touch ran`", "${x:-ran}é", "\t*?[a]{b,c}~!#&|;<>\\$x"}) {
    SCOPED_TRACE(name);
    const fs::path odd = root() / name;
    const auto mapped = sim::mapCommandPaths(command, odd);
    ASSERT_TRUE(mapped);
    std::string expected;
    for (char c = 'a'; c <= 'f'; ++c) expected += odd.string() + "/private/tmp/" + c + "\n";
    EXPECT_EQ(runner.run("/bin/sh", {"-c", *mapped}, Unhurried).output, expected) << *mapped;
    EXPECT_FALSE(fs::exists("ran") || fs::exists(root() / "ran"));
  }
}

// The real visudo checks each rule: names with a dot or beyond ASCII pass, and "Defaults", a safe
// account name but a keyword to sudoers, fails, which must stop the chain before anything reaches the
// drop-in folder.
TEST_F(AdminScriptInstallTest, ARuleLandsWithMode440OnlyWhenApprovedAndAcceptedByVisudo) {
  const std::tuple<std::string, const char*, bool> cases[] = {
      {"first.last", "approve\n", true}, {"名前", "approve\n", true}, {user, "approve\n", true},
      {user, "cancel\n", false},         {user, "", false},           {"Defaults", "approve\n", false}};
  for (const auto& [account, answers, lands] : cases) {
    SCOPED_TRACE(account + " answering " + answers);
    EXPECT_EQ(runAsAdministrator(*installPermissionCommand(account), answers), lands);
    EXPECT_EQ(sim::readFile(installed(account)),
              lands ? std::optional(*limitedSudoersRule(account) + "\n") : std::nullopt);
    EXPECT_EQ(modeOf(installed(account)), lands ? 0440u : 0u);
    EXPECT_TRUE(test::entriesOf(tmp()).empty());
    EXPECT_TRUE(runAsAdministrator(*removePermissionCommand(account), "approve\n"));
    EXPECT_TRUE(test::entriesOf(root() / "etc/sudoers.d").empty());
  }
}

// Anyone may create names in /private/tmp; what they plant under the old predictable name must be
// neither followed nor touched.
TEST_F(AdminScriptInstallTest, PlantedFilesInTheSharedTemporaryFolderAreLeftAlone) {
  const fs::path planted = tmp() / (sudoersDropInName(user) + ".sudoers"), victim = root() / "victim";
  for (const bool asLink : {true, false}) {
    SCOPED_TRACE(asLink ? "link" : "file");
    for (const fs::path& made : {planted, installed(user)}) fs::remove(made);
    sim::replaceFileAtomically(asLink ? victim : planted, "precious\n", 0666);
    if (asLink) fs::create_symlink(victim, planted);
    ASSERT_TRUE(runAsAdministrator(*installPermissionCommand(user), "approve\n"));
    EXPECT_EQ(fs::is_symlink(planted), asLink);
    EXPECT_EQ(sim::readFile(planted), "precious\n");  // through the link, the victim's
    EXPECT_EQ(modeOf(asLink ? victim : planted), 0666u);
    EXPECT_EQ(sim::readFile(installed(user)), *limitedSudoersRule(user) + "\n");  // its mode is pinned above
    EXPECT_EQ(test::entriesOf(tmp()), std::vector{planted});
  }
}

}  // namespace
}  // namespace corvel
