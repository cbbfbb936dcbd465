// Fakes of the ports, so the core's flows can be driven and observed without any platform.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform.h"

namespace corvel::test {

class FakeSettingsStore final : public SettingsStore {
 public:
  using Value = std::variant<std::string, bool>;
  std::optional<std::string> string(std::string_view key) override;
  bool boolean(std::string_view key) override;
  void setString(std::string_view key, std::string_view value) override;
  void setBoolean(std::string_view key, bool value) override;
  void remove(std::string_view key) override;

  std::map<std::string, Value, std::less<>> values;
  int reads = 0;
  // Every write and removal in order, as "set KEY=VALUE" or "remove KEY".
  std::vector<std::string> writes;
};

struct ProcessCall {
  std::string executable;
  std::vector<std::string> arguments;
  std::optional<std::string> input;  // none for run(), the text for runWithInput()
};

// What the test sees of a launched child; it outlives the handle the code under test owns.
struct FakeChildState {
  pid_t pid = 0;
  bool running = true;
  int terminations = 0;
};

class FakeChildProcess final : public ChildProcess {
 public:
  explicit FakeChildProcess(std::shared_ptr<FakeChildState> state) : state_(std::move(state)) {}
  pid_t pid() const override { return state_->pid; }
  bool isRunning() override { return state_->running; }
  void terminate() override {
    ++state_->terminations;
    state_->running = false;
  }

 private:
  std::shared_ptr<FakeChildState> state_;
};

class FakeProcessRunner final : public ProcessRunner {
 public:
  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments) override;
  ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                             const std::string& input) override;
  std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                       const std::vector<std::string>& arguments) override;

  // Answers each short-lived run; the default answers (-1, "") as for a missing tool.
  std::function<ProcessResult(const ProcessCall&)> respond;
  std::vector<ProcessCall> calls;
  // Long-lived launches: whether they succeed, and the children handed out (owned by the caller).
  bool launchSucceeds = true;
  std::vector<ProcessCall> launches;
  std::vector<std::shared_ptr<FakeChildState>> children;
  // Counts of calls whose arguments equal `arguments`.
  int countCalls(const std::vector<std::string>& arguments) const;
};

class FakeClock final : public Clock {
 public:
  TimePoint now() override { return current; }
  void sleepFor(std::chrono::duration<double> seconds) override {
    ++sleeps;
    current += std::chrono::duration_cast<TimePoint::duration>(seconds);
  }
  TimePoint current{};
  int sleeps = 0;
};

class FakeEnvironment final : public ProcessEnvironment {
 public:
  const std::vector<std::string>& arguments() const override { return argumentsList; }
  std::optional<std::string> variable(std::string_view name) const override;
  std::string userName() const override { return user; }

  std::vector<std::string> argumentsList{"Corvel"};
  std::map<std::string, std::string, std::less<>> variables;
  std::string user = "alice";
};

class FakeFileSystem final : public FileSystem {
 public:
  bool fileExists(const std::string& path) override;
  std::vector<std::string> existing;
  std::vector<std::string> asked;
};

class FakeAdministratorScript final : public AdministratorScript {
 public:
  bool execute(const std::string& source) override {
    sources.push_back(source);
    return respond ? respond(source) : false;
  }
  std::function<bool(const std::string&)> respond;
  std::vector<std::string> sources;
};

class FakeSession final : public Session {
 public:
  std::optional<bool> screenIsLockedFlag() override {
    ++queries;
    return flag;
  }
  std::optional<bool> flag;
  int queries = 0;
};

class FakeApplication final : public Application {
 public:
  void setDelegate(ApplicationDelegate* d) override { delegate = d; }
  void setActivationPolicyRegular() override { regular = true; }
  void run() override {}
  void terminate() override { ++terminateRequests; }
  std::shared_ptr<Timer> scheduleRepeatingTimer(double intervalSeconds, std::function<void()> action) override;
  void dispatchAfter(double delaySeconds, std::function<void()> task) override {
    delayed.push_back({delaySeconds, std::move(task)});
  }
  void runOnce(double maxSeconds) override {
    ++turns;
    if (onRunOnce) onRunOnce(maxSeconds);
  }

  ApplicationDelegate* delegate = nullptr;
  bool regular = false;
  int terminateRequests = 0;
  int turns = 0;
  std::function<void(double)> onRunOnce;
  std::vector<std::pair<double, std::function<void()>>> timers;
  std::vector<std::pair<double, std::function<void()>>> delayed;
};

class FakeMenuItem;
class FakeMenu;

class FakeStatusBar final : public StatusBar {
 public:
  std::shared_ptr<Menu> makeMenu() override;
  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) override;
  std::shared_ptr<StatusItem> makeStatusItem(double length) override;
  std::optional<EventType> currentEventType() const override { return currentEvent; }
  std::optional<EventType> currentEvent;
};

// A whole platform of fakes, wired into a Platform.
struct FakePlatform {
  FakeSettingsStore defaults;
  FakeApplication application;
  FakeProcessRunner processes;
  FakeClock clock;
  FakeEnvironment environment;
  FakeFileSystem files;
  FakeStatusBar statusBar;
  FakeAdministratorScript administratorScript;
  FakeSession session;
  Platform platform{defaults, application, processes, clock, environment, files, statusBar,
                    administratorScript, session, macToolPaths()};
};

}  // namespace corvel::test
