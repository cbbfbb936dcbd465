// Keeping CorvelWatchdog registered while Corvel is meant to run.
#include <gtest/gtest.h>

#include "main/agent/watchdog_registration.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

TEST(WatchdogRegistrationTest, RegistersUnlessEnabledUnregistersOnlyWhatIsEnabledAndSkipsOnlyWhenAsked) {
  const std::string plist = "app.corvel.Corvel.watchdog.plist";
  const struct {
    AgentStatus status;
    std::optional<std::string> skip;
    test::Strings calls;  // registering, then unregistering
  } table[] = {
      {AgentStatus::enabled, std::nullopt, {plist, plist, "unregister"}},
      {AgentStatus::notRegistered, std::nullopt, {plist, "register", plist}},
      {AgentStatus::requiresApproval, "0", {plist, "register", plist}},
      {AgentStatus::enabled, "1", {}},
      {AgentStatus::notFound, "1", {}},
  };
  for (const auto& row : table) {
    test::FakeAgentServices agents;
    test::FakeEnvironment environment;
    if (row.skip) environment.variables["CORVEL_SKIP_SERVICE"] = *row.skip;
    agents.status = row.status;
    agents.registrationWorks = false;  // a failure waits for the next launch
    WatchdogRegistration registration(agents, environment);
    registration.registerWatchdogIfNeeded();
    registration.unregisterWatchdog();
    EXPECT_EQ(agents.calls, row.calls) << static_cast<int>(row.status) << " " << row.skip.value_or("");
  }
}

}  // namespace
}  // namespace corvel
