// Taking charge of a caffeinate left by an earlier run: only the very process that was recorded.
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "adapters/posix/process_runner_posix.h"
#include "main/engine/caffeinate_supervisor.h"
#include "main/settings.h"
#include "sim/settings_store_sim.h"
#include "tests/support/corvel_process.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {

class Adoption : public test::SimRootTest {
 protected:
  PosixProcessRunner processes;
  const std::string caffeinate = test::simTool("caffeinate").string();
  const std::vector<std::string> arguments{"-d", "-i", "-m", "-s"};
};

TEST_F(Adoption, OnlyAProcessWithTheRecordedPidStartTimeAndOwnerIsTakenCharge) {
  auto child = processes.launch(caffeinate, arguments);
  ASSERT_TRUE(child);
  const auto identity = child->identity();
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->owner, ::getuid());
  // The system shows the new command line only once the child's start is complete.
  ASSERT_TRUE(test::eventually([&] { return processes.adopt(*identity, caffeinate, arguments) != nullptr; }));

  struct Case {
    const char* what;
    ProcessIdentity recorded;
    std::vector<std::string> arguments;
    bool adopted;
  };
  const Case cases[] = {
      {"another start time: the pid was handed on",
       {identity->pid, identity->startTime + 1, identity->owner},
       arguments,
       false},
      {"another owner", {identity->pid, identity->startTime, identity->owner + 1}, arguments, false},
      {"other arguments", *identity, {"-d", "-i"}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(processes.adopt(c.recorded, caffeinate, c.arguments) != nullptr, c.adopted) << c.what;
  }
  auto adopted = processes.adopt(*identity, caffeinate, arguments);
  ASSERT_TRUE(adopted);
  child->terminate();
  EXPECT_TRUE(test::eventually([&] { return !child->isRunning(); }));
  EXPECT_FALSE(adopted->isRunning());
  EXPECT_FALSE(processes.adopt(*identity, caffeinate, arguments));
}

TEST_F(Adoption, ASupervisorNeverEndsACaffeinateItDidNotRecord) {
  sim::JsonSettingsStore defaults(root(), "app.corvel.Corvel");
  // Someone's own caffeinate, named by a record whose start time does not match it.
  auto foreign = processes.launch(caffeinate, arguments);
  ASSERT_TRUE(foreign && foreign->identity());
  defaults.setString(keys::caffeinateProcessIdentifier, std::to_string(foreign->pid()));
  defaults.setString(keys::caffeinateProcessIdentity, "1 " + std::to_string(::getuid()));

  CaffeinateSupervisor supervisor(processes, defaults, caffeinate);
  supervisor.stopCaffeinate();
  EXPECT_TRUE(foreign->isRunning());
  EXPECT_FALSE(defaults.string(keys::caffeinateProcessIdentifier));
  EXPECT_FALSE(defaults.string(keys::caffeinateProcessIdentity));

  // Its own child, recorded by one supervisor, is ended by the next (a relaunch).
  CaffeinateSupervisor first(processes, defaults, caffeinate);
  first.startCaffeinateIfNeeded();
  ASSERT_TRUE(first.isCaffeinateRunning());
  CaffeinateSupervisor next(processes, defaults, caffeinate);
  next.startCaffeinateIfNeeded();
  EXPECT_TRUE(next.isCaffeinateRunning());
  next.stopCaffeinate();
  EXPECT_TRUE(test::eventually([&] { return !first.isCaffeinateRunning(); }));
  foreign->terminate();
}

}  // namespace
}  // namespace corvel
