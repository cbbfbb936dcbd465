// Keeping CorvelWatchdog registered while Corvel is meant to run.
#include <gtest/gtest.h>

#include "main/agent/watchdog_registration.h"
#include "tests/unit/fakes.h"

namespace corvel {
namespace {

using test::Strings;

TEST(WatchdogRegistrationTest, RegistersUnlessEnabledAndUnregistersOnlyWhatIsEnabled) {
  const std::string service = "service app.corvel.Corvel.watchdog.plist";
  const struct {
    AgentStatus status;
    Strings registering, unregistering;
  } table[] = {
      {AgentStatus::enabled, {service, "status"}, {service, "status", "unregister"}},
      {AgentStatus::notRegistered, {service, "status", "register"}, {service, "status"}},
      {AgentStatus::requiresApproval, {service, "status", "register"}, {service, "status"}},
      {AgentStatus::notFound, {service, "status", "register"}, {service, "status"}},
  };
  for (const auto& row : table) {
    test::FakeAgentServices agents;
    test::FakeEnvironment environment;
    WatchdogRegistration registration(agents, environment);
    agents.status = row.status;
    agents.registrationWorks = false;  // so the status stays for the second half
    registration.registerWatchdogIfNeeded();
    EXPECT_EQ(agents.calls, row.registering);
    agents.calls.clear();
    registration.unregisterWatchdog();
    EXPECT_EQ(agents.calls, row.unregistering);
  }
}

TEST(WatchdogRegistrationTest, TheSkipSwitchLeavesTheAgentAloneOnlyWhenOne) {
  for (const auto& [value, skipped] : {std::pair{"1", true}, {"0", false}, {"yes", false}}) {
    test::FakeAgentServices agents;
    test::FakeEnvironment environment;
    environment.variables["CORVEL_SKIP_SERVICE"] = value;
    agents.status = AgentStatus::enabled;
    WatchdogRegistration registration(agents, environment);
    registration.unregisterWatchdog();
    agents.status = AgentStatus::notRegistered;
    registration.registerWatchdogIfNeeded();
    EXPECT_EQ(agents.calls.empty(), skipped) << value;
  }
}

}  // namespace
}  // namespace corvel
