// Fakes of the ports, so the core's flows can be driven and observed without any platform.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ports/platform.h"
#include "sim/status_bar_sim.h"

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
  std::string executable;
  std::vector<std::string> arguments;
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
  // Adopts any child handed out earlier that still runs.
  std::unique_ptr<ChildProcess> adopt(pid_t pid, const std::string& executable,
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

// Answers alerts from a queue of scripted responses (default: nothing pressed) and records them.
class FakeAlerts final : public Alerts {
 public:
  AlertResponse runModal(const AlertRequest& request) override;
  struct Answer {
    int response;
    std::string typed;
  };
  std::deque<Answer> answers;
  std::vector<AlertRequest> shown;
  // The message texts in order, for checking which alerts a flow showed.
  std::vector<std::string> titles() const;
};

class FakeBiometrics final : public Biometrics {
 public:
  std::unique_ptr<BiometricContext> makeContext() override;
  bool available = true;
  // Decides the reply for each prompt; by default a matching finger, delivered at once.
  std::function<void(std::function<void(bool)>)> onPrompt;
  int prompts = 0;
  std::vector<std::string> cancelTitles, fallbackTitles, reasons;
};

class FakeDirectory final : public Directory {
 public:
  bool verifyPassword(const std::string& userName, const std::string& password) override {
    checked.push_back(userName + ":" + password);
    return password == loginPassword;
  }
  std::string loginPassword = "secret";
  std::vector<std::string> checked;
};

// Measures text as a fixed advance per character, proportional to the size, and keeps every icon.
class FakeDockTile final : public DockTile {
 public:
  double measureTextWidth(const std::string& text, const Font& font) override {
    return static_cast<double>(text.size()) * font.size * (font.weight == FontWeight::heavy ? 0.7 : 0.6);
  }
  void showIcon(const Drawing& drawing) override { icons.push_back(drawing); }
  std::vector<Drawing> icons;
};

class FakeAgentServices final : public AgentServices {
 public:
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& plistName) override;
  AgentStatus status = AgentStatus::notRegistered;
  bool registrationWorks = true;
  std::vector<std::string> calls;  // "service NAME", "status", "register", "unregister"
};

// A whole platform of fakes, wired into a Platform.
struct FakePlatform {
  FakeSettingsStore defaults;
  FakeApplication application;
  FakeProcessRunner processes;
  FakeClock clock;
  FakeEnvironment environment;
  FakeFileSystem files;
  sim::SimStatusBar statusBar;
  FakeAdministratorScript administratorScript;
  FakeSession session;
  FakeAlerts alerts;
  FakeBiometrics biometrics;
  FakeDirectory directory;
  FakeDockTile dockTile;
  FakeAgentServices agents;
  Platform platform{defaults,   application, processes, clock,     environment, files,  statusBar, administratorScript,
                    session,    alerts,      biometrics, directory, dockTile,    agents, macToolPaths()};

  // Back to a new machine's fakes; `platform` keeps referring to them.
  void reset() {
    defaults = {}, application = {}, processes = {}, clock = {}, environment = {}, files = {};
    statusBar = {}, administratorScript = {}, session = {}, alerts = {}, biometrics = {}, directory = {};
    dockTile = {}, agents = {};
  }
};

}  // namespace corvel::test
