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

// A front end whose input is `typed` (in a file, so any length fits) and whose screen is a file.
class Screen : public test::SimRootTest {
 protected:
  FrontEnd& frontEndReading(const std::string& typed) {
    close();
    replaceFileAtomically(root() / "typed", typed);
    input_ = ::open((root() / "typed").c_str(), O_RDONLY | O_CLOEXEC);
    output_ = ::open((root() / "screen").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    frontEnd_ = std::make_unique<FrontEnd>(input_, output_);
    return *frontEnd_;
  }
  std::string shown() { return readFile(root() / "screen").value_or(""); }
  void TearDown() override {
    close();
    test::SimRootTest::TearDown();
  }

 private:
  void close() {
    frontEnd_.reset();
    for (int* fd : {&input_, &output_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }
  int input_ = -1, output_ = -1;
  std::unique_ptr<FrontEnd> frontEnd_;
};

TEST_F(Screen, ALineOverTheCapIsDroppedWithOneExplanation) {
  auto& frontEnd = frontEndReading(std::string(4096, 'a') + "\n" + std::string(4097, 'b') + "\r\n" +
                                   std::string(1 << 20, 'c') + "\nclick\n");
  EXPECT_TRUE(frontEnd.readLine() == std::string(4096, 'a'));
  EXPECT_EQ(frontEnd.readLine(), "click");
  EXPECT_EQ(frontEnd.readLine(), std::nullopt);
  const std::string screen = shown();
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
      {"question", [](FrontEnd& f) { EXPECT_EQ(f.ask("?", {"approve", "cancel"}), "approve"); }, "approve / cancel"},
      {"alert",
       [](FrontEnd& f) {
         SimAlerts alerts(f);
         EXPECT_EQ(alerts.runModal({"m", "", AlertStyle::warning, {"続ける", "やめる"}, std::nullopt}).response,
                   AlertFirstButtonReturn);
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
    row.read(frontEndReading(hostile + "\napprove\n1\n"));
    const std::string screen = shown();
    EXPECT_EQ(screen.find("pass"), std::string::npos) << screen;
    EXPECT_EQ(screen.find('\x1b'), std::string::npos) << screen;
    EXPECT_NE(screen.find(row.named, screen.find("分かりません")), std::string::npos) << screen;
  }
}

}  // namespace
}  // namespace corvel::sim
