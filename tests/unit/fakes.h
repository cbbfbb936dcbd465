// Fakes of the ports for the unit tests, and FakeMac: one small model of the Mac behind the tools,
// the administrator script, the directory and the file system, so flows run against a machine that
// answers and changes as a real one would.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "main/engine/protection.h"
#include "ports/platform.h"

namespace corvel::test {

using Strings = std::vector<std::string>;

class FakeStore final : public SettingsStore {
 public:
  std::optional<std::string> string(std::string_view key) override {
    const auto it = values.find(key);
    if (it == values.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
    return std::get<std::string>(it->second);
  }
  bool boolean(std::string_view key) override {
    const auto it = values.find(key);
    return it != values.end() && it->second == std::variant<std::string, bool>(true);
  }
  void setString(std::string_view key, std::string_view value) override { set(key, std::string(value)); }
  void setBoolean(std::string_view key, bool value) override { set(key, value); }
  void remove(std::string_view key) override {
    if (const auto it = values.find(key); it != values.end()) values.erase(it);
    ++writes;
  }
  void set(std::string_view key, std::variant<std::string, bool> value) {
    values[std::string(key)] = std::move(value);
    ++writes;
  }
  bool has(std::string_view key) const { return values.find(key) != values.end(); }
  std::map<std::string, std::variant<std::string, bool>, std::less<>> values;
  int writes = 0;  // sets and removals
};

class FakeClock final : public Clock {
 public:
  TimePoint now() override { return current; }
  void sleepFor(std::chrono::duration<double> s) override {
    current += std::chrono::duration_cast<TimePoint::duration>(s);
  }
  double elapsed() const { return std::chrono::duration<double>(current - TimePoint{}).count(); }
  TimePoint current{};
};

class FakeEnvironment final : public ProcessEnvironment {
 public:
  const std::vector<std::string>& arguments() const override { return argumentList; }
  std::optional<std::string> variable(std::string_view name) const override {
    const auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  std::string userName() const override { return user; }
  Strings argumentList{"Corvel"};
  std::map<std::string, std::string, std::less<>> variables;
  std::string user = "alice";
};

// Answers each alert from a queue (none left: closed without a press) and keeps what was shown.
class FakeAlerts final : public Alerts {
 public:
  AlertResponse runModal(const AlertRequest& request) override {
    shown.push_back(request);
    if (answers.empty()) return {};
    auto [pressed, typed] = answers.front();
    answers.pop_front();
    return {pressed, SecretText(typed)};
  }
  void answer(std::optional<std::size_t> pressed, std::string typed = "") { answers.push_back({pressed, typed}); }
  Strings titles() const {
    Strings out;
    for (const auto& request : shown) out.push_back(request.messageText);
    return out;
  }
  std::deque<std::pair<std::optional<std::size_t>, std::string>> answers;
  std::vector<AlertRequest> shown;
};

class FakeBiometrics final : public Biometrics {
 public:
  std::unique_ptr<BiometricContext> makeContext() override { return std::make_unique<Context>(*this); }
  bool available = true;
  // Receives each prompt's reply; by default a matching finger, at once.
  std::function<void(std::function<void(bool)>)> onPrompt = [](std::function<void(bool)> reply) { reply(true); };
  int prompts = 0;
  std::string fallbackTitle = "<unset>";

 private:
  struct Context final : BiometricContext {
    explicit Context(FakeBiometrics& owner) : owner(owner) {}
    void setLocalizedCancelTitle(const std::string&) override {}
    void setLocalizedFallbackTitle(const std::string& title) override { owner.fallbackTitle = title; }
    bool canEvaluateBiometrics() override { return owner.available; }
    void evaluateBiometrics(const std::string&, std::function<void(bool)> reply) override {
      ++owner.prompts;
      owner.onPrompt(std::move(reply));
    }
    FakeBiometrics& owner;
  };
};

class FakeApplication final : public Application {
 public:
  void setDelegate(ApplicationDelegate*) override {}
  void setActivationPolicyRegular() override {}
  void run() override {}
  void terminate() override { ++terminations; }
  std::shared_ptr<Timer> scheduleRepeatingTimer(double, std::function<void()> action) override {
    timers.push_back(std::move(action));
    return std::make_shared<Timer>();
  }
  void dispatchAfter(double, std::function<void()> task) override { delayed.push_back(std::move(task)); }
  void runOnce(double) override {
    ++turns;
    if (onTurn) onTurn();
  }
  int terminations = 0, turns = 0;
  std::function<void()> onTurn;
  std::vector<std::function<void()>> timers, delayed;
};

class FakeSession final : public Session {
 public:
  std::optional<bool> screenIsLockedFlag() override { return ++queries, locked; }
  std::optional<bool> locked;
  int queries = 0;
};

struct FakeMenu;
struct FakeMenuItem final : MenuItem {
  FakeMenuItem(std::string title, std::string key) : text(std::move(title)), key(std::move(key)) {}
  std::string title() const override { return text; }
  void setTitle(const std::string& title) override { text = title; }
  void setAction(std::function<void()> a) override { action = std::move(a); }
  void setEnabled(bool on) override { enabled = on; }
  void setChecked(bool on) override { checked = on; }
  void setSubmenu(std::shared_ptr<Menu> menu) override { submenu = std::dynamic_pointer_cast<FakeMenu>(menu); }
  std::string text, key;
  std::function<void()> action;
  bool enabled = true, checked = false;
  std::shared_ptr<FakeMenu> submenu;
};

struct FakeMenu final : Menu {
  void addItem(std::shared_ptr<MenuItem> item) override {
    items.push_back(std::dynamic_pointer_cast<FakeMenuItem>(item));
  }
  void addSeparator() override { items.push_back(nullptr); }
  // Depth first: "-" for a separator, "✓" before a checked title, submenu entries indented.
  Strings lines(const std::string& indent = "") const {
    Strings out;
    for (const auto& item : items) {
      out.push_back(indent + (!item ? "-" : (item->checked ? "✓" : "") + item->text));
      for (auto& line : item && item->submenu ? item->submenu->lines(indent + "  ") : Strings{}) out.push_back(line);
    }
    return out;
  }
  std::shared_ptr<FakeMenuItem> find(const std::string& title) const {
    for (const auto& item : items) {
      if (item && item->text == title) return item;
      if (auto found = item && item->submenu ? item->submenu->find(title) : nullptr) return found;
    }
    return nullptr;
  }
  std::vector<std::shared_ptr<FakeMenuItem>> items;
};

struct FakeStatusItem final : StatusItem {
  bool hasButton() const override { return true; }
  void setButtonAction(std::function<void()> a) override { action = std::move(a); }
  void setButtonTitle(const std::string& t) override { title = t; }
  void setButtonToolTip(const std::string& t) override { toolTip = t; }
  void setMenu(std::shared_ptr<Menu> m) override { menu = std::dynamic_pointer_cast<FakeMenu>(m); }
  void performButtonClick() override {
    if (menu && onMenu) onMenu(*menu);
  }
  std::function<void()> action;
  std::string title, toolTip;
  std::shared_ptr<FakeMenu> menu;
  std::function<void(FakeMenu&)> onMenu;  // the person choosing in the open menu
};

class FakeStatusBar final : public StatusBar {
 public:
  std::shared_ptr<Menu> makeMenu() override { return std::make_shared<FakeMenu>(); }
  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& key) override {
    return std::make_shared<FakeMenuItem>(title, key);
  }
  std::shared_ptr<StatusItem> makeStatusItem() override { return item = std::make_shared<FakeStatusItem>(); }
  std::optional<ClickKind> currentClick() const override { return click; }
  // A release of `kind` over the button, with `choose` played in the menu if one opens.
  void clickButton(ClickKind kind, std::function<void(FakeMenu&)> choose = nullptr) {
    click = kind;
    item->onMenu = std::move(choose);
    item->action();
    click.reset();
  }
  std::shared_ptr<FakeStatusItem> item;
  std::optional<ClickKind> click;
};

// A fixed advance per character, proportional to the size, so centring shows in the numbers.
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
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string& name) override {
    calls.push_back(name);
    return std::make_unique<Service>(*this);
  }
  AgentStatus status = AgentStatus::notRegistered;
  bool registrationWorks = true;
  Strings calls;  // the plist name asked for, then "register" or "unregister"

 private:
  struct Service final : AgentService {
    explicit Service(FakeAgentServices& owner) : owner(owner) {}
    AgentStatus status() override { return owner.status; }
    bool registerAgent() override {
      owner.calls.push_back("register");
      if (owner.registrationWorks) owner.status = AgentStatus::enabled;
      return owner.registrationWorks;
    }
    bool unregisterAgent() override {
      owner.calls.push_back("unregister");
      owner.status = AgentStatus::notRegistered;
      return true;
    }
    FakeAgentServices& owner;
  };
};

// The Mac behind its tools (at their macOS paths), the administrator script, the directory and the
// file system, kept in a few fields of state.
class FakeMac final : public ProcessRunner, public AdministratorScript, public Directory, public FileSystem {
 public:
  struct Child {
    pid_t pid;
    std::string executable;
    Strings arguments;
    bool running = true;
    int terminations = 0;
    std::uint64_t startTime = 0;
    uid_t owner = 501;
  };

  std::string screenLock = "immediate";  // as sysadminctl takes it: "immediate", "off" or seconds
  bool sleepDisabled = false;
  bool ruleInstalled = false;  // the drop-in for `account` is in place
  std::string account = "alice";
  std::string loginPassword = "secret";
  // Failure switches.
  bool administratorApproves = true;
  bool installedRuleWorks = true;     // false: the drop-in lands but sudo refuses it
  bool pmsetChangeWorks = true;       // false: sudo pmset fails to change the flag (re-setting works)
  bool screenLockChangeWorks = true;  // false: sysadminctl refuses every change
  bool caffeinateStarts = true;
  int readingsBehind = 0;  // after a change, this many readings of `pmset -g` still show the value before it

  Strings calls;    // every short-lived run, "executable arg arg…"
  Strings inputs;   // what each runWithInput got on standard input
  Strings scripts;  // every administrator script source
  std::vector<std::shared_ptr<Child>> children;

  ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments) override {
    const std::string line = record(executable, arguments);
    if (line == "/usr/bin/pmset -g") {
      const bool shown = staleLeft_ > 0 ? (--staleLeft_, !sleepDisabled) : sleepDisabled;
      return {0, std::string("System-wide power settings:\n SleepDisabled\t\t") + (shown ? "1" : "0") + "\n sleep 1\n"};
    }
    if (line.starts_with("/usr/bin/sudo -n /usr/bin/pmset -a disablesleep ") && arguments.size() == 5) {
      if (!ruleInstalled || !installedRuleWorks) return {1, "sudo: a password is required\n"};
      const bool wanted = arguments.back() == "1";
      if (wanted == sleepDisabled) return {0, ""};
      if (!pmsetChangeWorks) return {1, "pmset: failed\n"};
      sleepDisabled = wanted;
      staleLeft_ = readingsBehind;
      return {0, ""};
    }
    if (line == "/usr/sbin/sysadminctl -screenLock status") {
      const std::string body = screenLock == "off"         ? "is off"
                               : screenLock == "immediate" ? "delay is immediate"
                                                           : "delay is " + screenLock + " seconds";
      return {0, "2026-12-06 10:00:00.123 sysadminctl[1:2] screenLock " + body + "\n"};
    }
    return {-1, ""};
  }

  ProcessResult runWithInput(const std::string& executable, const std::vector<std::string>& arguments,
                             const std::string& input) override {
    inputs.push_back(input);
    const std::string line = record(executable, arguments);
    if (!line.starts_with("/usr/sbin/sysadminctl -screenLock ") || !line.ends_with(" -password -") ||
        arguments.size() != 4) {
      return {-1, ""};
    }
    if (!screenLockChangeWorks || input != loginPassword + "\n") return {1, "Operation is not permitted\n"};
    screenLock = arguments[1] == "0" ? "immediate" : arguments[1];
    return {0, ""};
  }

  std::unique_ptr<ChildProcess> launch(const std::string& executable,
                                       const std::vector<std::string>& arguments) override {
    if (!caffeinateStarts) return nullptr;
    const auto pid = static_cast<pid_t>(1001 + children.size());
    children.push_back(std::make_shared<Child>(Child{pid, executable, arguments, true, 0, 7000u + pid}));
    return std::make_unique<Handle>(children.back());
  }

  std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& executable,
                                      const std::vector<std::string>& arguments) override {
    for (const auto& child : children) {
      if (ProcessIdentity{child->pid, child->startTime, child->owner} == identity && child->running &&
          child->executable == executable && child->arguments == arguments) {
        return std::make_unique<Handle>(child);
      }
    }
    return nullptr;
  }

  bool execute(const std::string& source) override {
    scripts.push_back(source);
    if (!administratorApproves || !source.starts_with("do shell script \"")) return false;
    ruleInstalled = source.find("/bin/rm -f") == std::string::npos;
    return true;
  }

  bool verifyPassword(const std::string& user, const std::string& password) override {
    return user == account && password == loginPassword;
  }

  bool fileExists(const std::string& path) override {
    return ruleInstalled && path == "/etc/sudoers.d/corvel-" + account;
  }

  std::size_t runningChildren() const {
    return static_cast<std::size_t>(
        std::count_if(children.begin(), children.end(), [](auto& c) { return c->running; }));
  }

 private:
  std::string record(const std::string& executable, const std::vector<std::string>& arguments) {
    std::string line = executable;
    for (const auto& argument : arguments) line += " " + argument;
    calls.push_back(line);
    return line;
  }
  struct Handle final : ChildProcess {
    explicit Handle(std::shared_ptr<Child> child) : child(std::move(child)) {}
    pid_t pid() const override { return child->pid; }
    std::optional<ProcessIdentity> identity() const override {
      if (!child->running) return std::nullopt;
      return ProcessIdentity{child->pid, child->startTime, child->owner};
    }
    bool isRunning() override { return child->running; }
    void terminate() override { ++child->terminations, child->running = false; }
    std::shared_ptr<Child> child;
  };
  int staleLeft_ = 0;
};

// Corvel's collaborators built on the fakes as the application builds them, for the flows that
// take several of them.
struct Rig {
  FakeStore defaults;
  FakeMac mac;
  FakeClock clock;
  FakeEnvironment environment;
  FakeSession session;
  FakeAlerts alerts;
  FakeBiometrics biometrics;
  FakeApplication application;
  FakeStatusBar statusBar;
  FakeDockTile dockTile;
  ToolPaths tools = macToolPaths();
  Settings settings{defaults};
  CaffeinateSupervisor caffeinate{mac, defaults, tools.caffeinate};
  SleepSwitch sleepSwitch{mac, clock, tools};
  ScreenLock screenLock{mac, session, tools};
  LimitedPermission permission{mac, environment, mac, sleepSwitch};
  Confirmations confirmations{biometrics, application, alerts, mac, environment};
  RemoteMode remoteMode{alerts, defaults, screenLock, sleepSwitch, permission, confirmations};
  StatusDisplay display{statusBar, dockTile, settings, sleepSwitch, screenLock, caffeinate};
  Protection protection{settings, sleepSwitch, permission, remoteMode, confirmations, caffeinate, alerts, display};
};

}  // namespace corvel::test
