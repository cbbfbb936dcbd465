// A fresh simulated Mac per test, where the built programs and tools are, and Corvel driven on it.
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>

#include "ports/process_runner.h"
#include "tests/support/corvel_process.h"

namespace corvel::test {

// For tools the tests run to see what they do, not how long they take.
inline constexpr RunLimits Unhurried{std::chrono::minutes(1), 64 * 1024 * 1024};

// The folder holding the running test binary (build/bin): Corvel, CorvelWatchdog and sim/ lie there.
std::filesystem::path binFolder();
std::filesystem::path simTool(const std::string& name);
std::filesystem::path testHelper(const std::string& name);

// The live processes started for the simulated Mac at `root` or one inside it (known by the sim root
// in their environment), other than this one; only those running `program` (as their argument
// vector's first) when it is given.
std::vector<pid_t> processesOf(const std::filesystem::path& root, const std::filesystem::path& program = {});

// The entries of `folder` whose names hold `part`, in the order of their names.
std::vector<std::filesystem::path> entriesOf(const std::filesystem::path& folder, const std::string& part = "");

// Lines to send, each with the text to wait for after it ("" for none).
using Steps = std::vector<std::pair<std::string, std::string>>;
// Sends each step; false, with the failure recorded, at the first text that does not come.
bool play(ProgramProcess& corvel, const Steps& steps);
extern const Steps setUpRemoteStrong;
// The password is asked while the lock is to be put back, then Touch ID while remote strong is on.
Steps restoreAndQuit(bool touchID, bool lockToRestore);

// Makes a new sim root in a temporary folder, points CORVEL_SIM_ROOT at it for the test (tools
// started as children inherit it), and removes it afterwards.
class SimRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& root() const { return root_; }
  // mac/<name> of the simulated machine, without its line feed; "" when absent.
  std::string macValue(const std::string& name) const;
  void setMacValue(const std::string& name, const std::string& value) const;
  // Corvel's stored settings; an empty object when there are none or they do not parse.
  nlohmann::json defaults() const;
  // Every change a restore owes put back: the lock as it was (300), sleep allowed, no rule, no
  // record of a changed lock, no caffeinate.
  void expectAllPutBack() const;
  // Corvel once it shows its first state. Neither the watchdog nor the toggle at launch, which most
  // checks would have to wait out, unless `environment` turns them back on with an empty value.
  std::unique_ptr<ProgramProcess> start(std::map<std::string, std::string> environment = {},
                                        const std::vector<std::string>& arguments = {}) const;

 private:
  std::filesystem::path root_;
  std::optional<std::string> previousRoot_;
};

}  // namespace corvel::test
