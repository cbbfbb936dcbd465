// A fresh simulated Mac per test, and where the built programs and tools are.
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace corvel::test {

// The folder holding the running test binary (build/bin): Corvel, CorvelWatchdog and sim/ lie there.
std::filesystem::path binFolder();
std::filesystem::path simTool(const std::string& name);
std::filesystem::path testHelper(const std::string& name);

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

 private:
  std::filesystem::path root_;
  std::string previousRoot_;
  bool hadPreviousRoot_ = false;
};

}  // namespace corvel::test
