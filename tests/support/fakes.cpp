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
  children.push_back(state);
  return std::make_unique<FakeChildProcess>(state);
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

class FakeMenuItemImpl final : public MenuItem {
 public:
  explicit FakeMenuItemImpl(std::string title) : title_(std::move(title)) {}
  std::string title() const override { return title_; }
  void setTitle(const std::string& title) override { title_ = title; }
  void setAction(const std::string&, std::function<void()>) override {}
  void setEnabled(bool) override {}
  void setState(int) override {}
  void setSubmenu(std::shared_ptr<Menu>) override {}

 private:
  std::string title_;
};

class FakeMenuImpl final : public Menu {
 public:
  void addItem(std::shared_ptr<MenuItem>) override {}
  void addSeparator() override {}
};

class FakeStatusItemImpl final : public StatusItem {
 public:
  bool hasButton() const override { return true; }
  void setButtonAction(const std::string&, std::function<void()>, unsigned) override {}
  void setButtonTitle(const std::string&) override {}
  void setButtonToolTip(const std::string&) override {}
  void setMenu(std::shared_ptr<Menu>) override {}
  void performButtonClick() override {}
};
}  // namespace

std::shared_ptr<Timer> FakeApplication::scheduleRepeatingTimer(double intervalSeconds, std::function<void()> action) {
  timers.push_back({intervalSeconds, std::move(action)});
  return std::make_shared<FakeTimer>();
}

std::shared_ptr<Menu> FakeStatusBar::makeMenu() { return std::make_shared<FakeMenuImpl>(); }
std::shared_ptr<MenuItem> FakeStatusBar::makeMenuItem(const std::string& title, const std::string&) {
  return std::make_shared<FakeMenuItemImpl>(title);
}
std::shared_ptr<StatusItem> FakeStatusBar::makeStatusItem(double) { return std::make_shared<FakeStatusItemImpl>(); }

}  // namespace corvel::test
