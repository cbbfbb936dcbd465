// The simulated Mac's line protocol against hostile input: lines too long to be commands, and lines
// that must never be repeated to the screen.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "sim/application_sim.h"
#include "sim/desktop.h"
#include "sim/dialogs_sim.h"
#include "sim/front_end.h"
#include "sim/sim_root.h"
#include "sim/status_bar_sim.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel::sim {
namespace {
namespace fs = std::filesystem;

// A front end reading what was typed from a file (so any length fits) and showing on a file.
struct Typed {
  Typed(const fs::path& folder, const std::string& typed)
      : input((replaceFileAtomically(folder / "typed", typed), ::open((folder / "typed").c_str(), O_RDONLY))),
        screen(folder / "screen"),
        output(::open(screen.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {}
  ~Typed() {
    ::close(input);
    ::close(output);
  }
  std::string shown() const { return readFile(screen).value_or(""); }
  int input;
  fs::path screen;
  int output;
  FrontEnd frontEnd{input, output};
};

class Screen : public test::SimRootTest {};

TEST_F(Screen, ALineOverTheCapIsDroppedWithOneExplanation) {
  Typed typed(root(), std::string(4096, 'a') + "\n" + std::string(4097, 'b') + "\r\n" + std::string(1 << 20, 'c') +
                          "\nclick\n");
  auto& frontEnd = typed.frontEnd;
  EXPECT_TRUE(frontEnd.readLine() == std::string(4096, 'a'));
  EXPECT_EQ(frontEnd.readLine(), "click");
  EXPECT_EQ(frontEnd.readLine(), std::nullopt);
  const std::string screen = typed.shown();
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 2) << screen.substr(0, 200);
  EXPECT_EQ(screen.find("bbb"), std::string::npos);
  EXPECT_EQ(screen.find("ccc"), std::string::npos);
}

// Anyone who can write to the pipe would otherwise drive the user's terminal, and a password typed
// at the wrong moment would be shown and logged.
TEST_F(Screen, ALineNotUnderstoodIsNeverRepeatedButTheChoicesAreNamed) {
  const std::string hostile = "pass\x1b]0;word\x07";
  const struct {
    const char* where;
    std::function<void(FrontEnd&)> read;
    const char* named;
  } cases[] = {
      {"question",
       [](FrontEnd& f) {
         EXPECT_EQ(f.ask("?", {"approve", "cancel"}), "approve");
       },
       "approve / cancel"},
      {"alert",
       [](FrontEnd& f) {
         SimAlerts alerts(f);
         EXPECT_EQ(alerts.runModal({"m", "", AlertStyle::warning, {"続ける", "やめる"}, std::nullopt}).pressedButton,
                   0u);
       },
       "続ける"},
      {"desktop",
       [&](FrontEnd& f) {
         SimApplication application;
         SimStatusBar statusBar;
         SimDesktop desktop(root(), f, application, statusBar);
         desktop.handle(*f.readLine());
       },
       "click, right-click"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.where);
    Typed typed(root(), hostile + "\napprove\n1\n");
    row.read(typed.frontEnd);
    const std::string screen = typed.shown();
    EXPECT_EQ(screen.find("pass"), std::string::npos) << screen;
    EXPECT_EQ(screen.find('\x1b'), std::string::npos) << screen;
    EXPECT_NE(screen.find(row.named, screen.find("分かりません")), std::string::npos) << screen;
  }
}

}  // namespace
}  // namespace corvel::sim
