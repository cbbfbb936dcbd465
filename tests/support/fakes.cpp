// Fakes of the ports.
#include "fakes.h"

#include <algorithm>

namespace corvel::test {

std::optional<std::string> FakeSettingsStore::string(std::string_view key) {
  ++reads;
  const auto it = values.find(key);
  if (it == values.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
  return std::get<std::string>(it->second);
}

bool FakeSettingsStore::boolean(std::string_view key) {
  ++reads;
  const auto it = values.find(key);
  return it != values.end() && std::holds_alternative<bool>(it->second) && std::get<bool>(it->second);
}

void FakeSettingsStore::setString(std::string_view key, std::string_view value) {
  values[std::string(key)] = std::string(value);
  writes.push_back("set " + std::string(key) + "=" + std::string(value));
}

void FakeSettingsStore::setBoolean(std::string_view key, bool value) {
  values[std::string(key)] = value;
  writes.push_back("set " + std::string(key) + "=" + (value ? "true" : "false"));
}

void FakeSettingsStore::remove(std::string_view key) {
  if (const auto it = values.find(key); it != values.end()) values.erase(it);
  writes.push_back("remove " + std::string(key));
}

ProcessResult FakeProcessRunner::run(const std::string& executable, const std::vector<std::string>& arguments) {
  calls.push_back({executable, arguments, std::nullopt});
  return respond ? respond(calls.back()) : ProcessResult{-1, ""};
}

ProcessResult FakeProcessRunner::runWithInput(const std::string& executable,
                                              const std::vector<std::string>& arguments, const std::string& input) {
  calls.push_back({executable, arguments, input});
  return respond ? respond(calls.back()) : ProcessResult{-1, ""};
}

std::unique_ptr<ChildProcess> FakeProcessRunner::launch(const std::string& executable,
                                                        const std::vector<std::string>& arguments) {
  launches.push_back({executable, arguments, std::nullopt});
  if (!launchSucceeds) return nullptr;
  auto state = std::make_shared<FakeChildState>();
  state->pid = static_cast<pid_t>(1000 + launches.size());
  state->executable = executable;
  state->arguments = arguments;
  children.push_back(state);
  return std::make_unique<FakeChildProcess>(state);
}

std::unique_ptr<ChildProcess> FakeProcessRunner::adopt(pid_t pid, const std::string& executable,
                                                       const std::vector<std::string>& arguments) {
  for (const auto& child : children) {
    if (child->pid == pid && child->running && child->executable == executable && child->arguments == arguments) {
      return std::make_unique<FakeChildProcess>(child);
    }
  }
  return nullptr;
}

int FakeProcessRunner::countCalls(const std::vector<std::string>& arguments) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                        [&](const ProcessCall& c) { return c.arguments == arguments; }));
}

std::optional<std::string> FakeEnvironment::variable(std::string_view name) const {
  const auto it = variables.find(name);
  if (it == variables.end()) return std::nullopt;
  return it->second;
}

bool FakeFileSystem::fileExists(const std::string& path) {
  asked.push_back(path);
  return std::find(existing.begin(), existing.end(), path) != existing.end();
}

namespace {
struct FakeTimer final : Timer {};
}  // namespace

std::shared_ptr<Timer> FakeApplication::scheduleRepeatingTimer(double intervalSeconds, std::function<void()> action) {
  timers.push_back({intervalSeconds, std::move(action)});
  return std::make_shared<FakeTimer>();
}

AlertResponse FakeAlerts::runModal(const AlertRequest& request) {
  shown.push_back(request);
  AlertResponse response;
  if (answers.empty()) return response;
  response.response = answers.front().response;
  response.fieldText = SecretText(answers.front().typed);
  answers.pop_front();
  return response;
}

std::vector<std::string> FakeAlerts::titles() const {
  std::vector<std::string> result;
  for (const auto& request : shown) result.push_back(request.messageText);
  return result;
}

namespace {
class FakeBiometricContext final : public BiometricContext {
 public:
  explicit FakeBiometricContext(FakeBiometrics& owner) : owner_(owner) {}
  void setLocalizedCancelTitle(const std::string& title) override { owner_.cancelTitles.push_back(title); }
  void setLocalizedFallbackTitle(const std::string& title) override { owner_.fallbackTitles.push_back(title); }
  bool canEvaluateBiometrics() override { return owner_.available; }
  void evaluateBiometrics(const std::string& reason, std::function<void(bool)> reply) override {
    ++owner_.prompts;
    owner_.reasons.push_back(reason);
    if (owner_.onPrompt) {
      owner_.onPrompt(std::move(reply));
    } else {
      reply(true);
    }
  }

 private:
  FakeBiometrics& owner_;
};
}  // namespace

std::unique_ptr<BiometricContext> FakeBiometrics::makeContext() { return std::make_unique<FakeBiometricContext>(*this); }

namespace {
class FakeAgentService final : public AgentService {
 public:
  explicit FakeAgentService(FakeAgentServices& owner) : owner_(owner) {}
  AgentStatus status() override {
    owner_.calls.push_back("status");
    return owner_.status;
  }
  bool registerAgent() override {
    owner_.calls.push_back("register");
    if (owner_.registrationWorks) owner_.status = AgentStatus::enabled;
    return owner_.registrationWorks;
  }
  bool unregisterAgent() override {
    owner_.calls.push_back("unregister");
    owner_.status = AgentStatus::notRegistered;
    return true;
  }

 private:
  FakeAgentServices& owner_;
};
}  // namespace

std::unique_ptr<AgentService> FakeAgentServices::agentServiceWithPlistName(const std::string& plistName) {
  calls.push_back("service " + plistName);
  return std::make_unique<FakeAgentService>(*this);
}

}  // namespace corvel::test
