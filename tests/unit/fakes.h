// Fakes of the ports for the unit tests. FakeMac is the one model of the Mac behind the tools, so flows
// run against a machine that answers and changes as a real one would; FakeDesk is the person at it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "main/app_delegate.h"
#include "main/collaborators.h"
#include "main/failure_alerts.h"
#include "main/status/status_report.h"
#include "ports/platform.h"

namespace corvel::test {

using Strings = std::vector<std::string>;

inline std::string joined(std::string line, const Strings& words) {
  for (const auto& word : words) line += " " + word;
  return line;
}

struct FakeStore final : SettingsStore, DefaultsReader {
  std::optional<std::string> string(std::string_view key) override {
    const auto* text = values.contains(key) ? std::get_if<std::string>(&values.find(key)->second) : nullptr;
    return text ? std::optional(*text) : std::nullopt;
  }
  bool boolean(std::string_view key) override {
    return values.contains(key) && values.find(key)->second == Value(true);
  }
  void setString(std::string_view key, std::string_view value) override { set(key, std::string(value)); }
  void setBoolean(std::string_view key, bool value) override { set(key, value); }
  void remove(std::string_view key) override { values.erase(std::string(key)); }
  bool saved() override { return savable; }
  std::optional<DefaultsSnapshot> readDefaults(const Strings& keys) override {
    if (!readable) return std::nullopt;
    DefaultsSnapshot snapshot;
    for (const auto& key : keys) snapshot[key] = {string(key), boolean(key)};
    return snapshot;
  }
  using Value = std::variant<std::string, bool>;
  void set(std::string_view key, Value value) { values[std::string(key)] = std::move(value); }
  // Texts stored as given: a key, its text, the next key, its text...
  template <typename... More>
  void setStrings(std::string_view key, std::string_view text, More... more) {
    setString(key, text);
    if constexpr (sizeof...(more) > 0) setStrings(more...);
  }
  std::map<std::string, Value, std::less<>> values;
  bool readable = true;
  bool savable = true;  // false: every change stays in this process's memory
};

// The event loop, the alerts and the Touch ID prompt the person answers, and the Dock tile.
struct FakeDesk final : Application, Alerts, Biometrics, DockTile, Notifications {
  void setDelegate(ApplicationDelegate*) override {}
  void setActivationPolicyRegular() override {}
  void run() override {}
  void terminate() override { ++terminations; }
  std::shared_ptr<Timer> scheduleRepeatingTimer(std::chrono::milliseconds interval,
                                                std::function<void()> action) override {
    waits.push_back(interval);
    timers.push_back(std::move(action));
    return std::make_shared<Timer>();
  }
  void dispatchAfter(std::chrono::milliseconds delay, std::function<void()> task) override {
    waits.push_back(delay);
    delayed.push_back(std::move(task));
  }
  void runOnce(std::chrono::milliseconds) override {
    ++turns;
    if (onTurn) onTurn();
  }
  // Answered from the queue; none left: closed without a press.
  AlertResponse runModal(const AlertRequest& request) override {
    if (onAlert) onAlert();
    requests.push_back(request);
    titles.push_back(request.messageText);
    if (answers.empty()) return {};
    auto [pressed, typed] = answers.front();
    answers.pop_front();
    return {pressed, SecretText(typed)};
  }
  void answer(std::optional<std::size_t> pressed, std::string typed = "") { answers.push_back({pressed, typed}); }
  std::unique_ptr<BiometricContext> makeContext() override { return std::make_unique<Context>(*this); }
  // Half the font size per byte: a width that differs by text and size, so centring shows.
  double measureTextWidth(const std::string& text, const Font& font) override {
    return font.size * static_cast<double>(text.size()) / 2;
  }
  void showIcon(const Drawing& drawing) override { icons.push_back(drawing); }
  void requestPermission() override { ++permissionRequests; }
  void post(const std::string& title, const std::string& body) override { notices.push_back(title + " — " + body); }

  struct Context final : BiometricContext {
    explicit Context(FakeDesk& desk) : desk(desk) {}
    void setLocalizedCancelTitle(const std::string& title) override { desk.cancelTitle = title; }
    void setLocalizedFallbackTitle(const std::string& title) override { desk.fallbackTitle = title; }
    bool canEvaluateBiometrics() override { return desk.touchID; }
    void evaluateBiometrics(const std::string& reason, std::function<void(bool)> reply) override {
      ++desk.prompts;
      desk.reasons.push_back(reason);
      desk.onPrompt(std::move(reply));
    }
    FakeDesk& desk;
  };

  int terminations = 0, turns = 0, prompts = 0;
  std::function<void()> onTurn, onAlert;
  std::vector<std::function<void()>> timers, delayed;
  std::vector<std::chrono::milliseconds> waits;  // of the timers and delayed tasks, in the order they were asked for
  std::deque<std::pair<std::optional<std::size_t>, std::string>> answers;
  Strings titles;                      // of every alert shown
  std::vector<AlertRequest> requests;  // every alert whole, in order
  Strings reasons;                     // of every Touch ID prompt
  bool touchID = true;
  std::string fallbackTitle = "<unset>", cancelTitle;
  // Receives each prompt's reply; by default a matching finger, at once.
  std::function<void(std::function<void(bool)>)> onPrompt = [](std::function<void(bool)> reply) { reply(true); };
  std::vector<Drawing> icons;
  Strings notices;  // every notification, "<title> — <body>"
  int permissionRequests = 0;
};

// A menu entry, or a menu: what it holds, null for a separator.
struct FakeMenu final : MenuItem, Menu {
  explicit FakeMenu(std::string title = "") : text(std::move(title)) {}
  std::string title() const override { return text; }
  void setTitle(const std::string& title) override { text = title; }
  void setAction(std::function<void()> a) override { action = std::move(a); }
  void setEnabled(bool on) override { enabled = on; }
  void setChecked(bool on) override { checked = on; }
  void setSubmenu(std::shared_ptr<Menu> menu) override { submenu = std::dynamic_pointer_cast<FakeMenu>(menu); }
  void addItem(std::shared_ptr<MenuItem> item) override { items.push_back(std::dynamic_pointer_cast<FakeMenu>(item)); }
  void addSeparator() override { items.push_back(nullptr); }
  std::shared_ptr<FakeMenu> find(const std::string& title) const {
    for (const auto& item : items) {
      if (item && item->text == title) return item;
      if (auto found = item && item->submenu ? item->submenu->find(title) : nullptr) return found;
    }
    return nullptr;
  }
  std::string text, keyEquivalent;
  std::function<void()> action;
  bool enabled = true, checked = false;
  std::shared_ptr<FakeMenu> submenu;
  std::vector<std::shared_ptr<FakeMenu>> items;
};

// The menu bar and the one status item in it.
struct FakeStatusBar final : StatusBar, StatusItem {
  std::shared_ptr<Menu> makeMenu() override { return std::make_shared<FakeMenu>(); }
  std::shared_ptr<MenuItem> makeMenuItem(const std::string& title, const std::string& keyEquivalent) override {
    auto item = std::make_shared<FakeMenu>(title);
    item->keyEquivalent = keyEquivalent;
    return item;
  }
  std::shared_ptr<StatusItem> makeStatusItem() override { return {std::shared_ptr<StatusItem>(), this}; }
  bool hasButton() const override { return true; }
  void setButtonAction(std::function<void()> a) override { action = std::move(a); }
  void setButtonTitle(const std::string& t) override { title = t; }
  void setButtonToolTip(const std::string& t) override { toolTip = t; }
  void setRightClickMenu(std::shared_ptr<Menu> m) override { menu = std::dynamic_pointer_cast<FakeMenu>(m); }
  void clickButton() { action(); }
  // A right click, choosing `title` in the menu it opens (nothing, when no entry has that title); the
  // entries it showed are kept in `shown`, "-" for a separator and with the key after "⌘".
  void choose(const std::string& title) {
    shown.clear();
    for (const auto& item : menu->items)
      shown.push_back(!item ? "-" : item->text + (item->keyEquivalent.empty() ? "" : " ⌘" + item->keyEquivalent));
    if (const auto item = menu->find(title)) item->action();
  }
  std::function<void()> action;
  std::string title, toolTip;
  Strings shown;
  std::shared_ptr<FakeMenu> menu;  // the right-click menu
};

// The Mac: its tools at their macOS paths, the administrator script, the directory, the file system,
// the clock, the login session and the process's environment, kept in a few fields of state.
struct FakeMac final : ProcessRunner,
                       AdministratorScript,
                       Directory,
                       FileSystem,
                       Clock,
                       Session,
                       ProcessEnvironment,
                       Machine {
  struct Child {
    pid_t pid;
    std::string executable;
    Strings arguments;
    bool running = true;
    // Started at 7000 + pid by uid 501: a record names it, not a later holder of the same pid.
    ProcessIdentity identity() const { return {pid, 7000u + pid, 501}; }
  };
  struct Handle final : ChildProcess {
    explicit Handle(std::shared_ptr<Child> child) : child(std::move(child)) {}
    pid_t pid() const override { return child->pid; }
    std::optional<ProcessIdentity> identity() const override {
      return child->running ? std::optional(child->identity()) : std::nullopt;
    }
    bool isRunning() override { return child->running; }
    void terminate() override { child->running = false; }
    std::shared_ptr<Child> child;
  };

  ProcessResult run(const std::string& executable, const Strings& arguments, const RunLimits& limits) override {
    const std::string line = joined(executable, arguments);
    if (onRun) onRun(line);
    timeLimits[line] = limits.time;
    const bool ruleWorks = ruleInstalled && installedRuleWorks;
    if (answers.contains(line)) return answers[line];
    if (line == "/usr/bin/pmset -g") {
      const bool shown = staleLeft > 0 ? (--staleLeft, !sleepDisabled) : sleepDisabled;
      return {0, std::string("System-wide power settings:\n SleepDisabled\t\t") + (shown ? "1" : "0") + "\n sleep 1\n"};
    }
    if (line == "/usr/bin/sudo -n -k -l /usr/bin/pmset -a disablesleep 1") return {ruleWorks ? 0 : 1, ""};
    if (line.starts_with("/usr/bin/sudo -n /usr/bin/pmset -a disablesleep ") && arguments.size() == 5) {
      if (!ruleWorks) return {1, "sudo: a password is required\n"};
      const bool wanted = arguments.back() == "1";
      if (wanted == sleepDisabled) return {0, ""};
      if (!pmsetChangeWorks) return {1, "pmset: failed\n"};
      sleepDisabled = wanted;
      staleLeft = readingsBehind;
      return {0, ""};
    }
    if (line != "/usr/sbin/sysadminctl -screenLock status") return {-1, ""};
    return {0, "2026-12-06 10:00:00.123 sysadminctl[1:2] screenLock delay is " + screenLock + " seconds\n"};
  }
  ProcessResult runWithInput(const std::string& executable, const Strings& arguments, const std::string& input,
                             const RunLimits&) override {
    const std::string line = joined(executable, arguments);
    if (onRun) onRun(line);
    if (arguments.size() != 4 || line != "/usr/sbin/sysadminctl -screenLock " + arguments[1] + " -password -")
      return {};
    if (!screenLockChangeWorks || input != loginPassword + "\n") return {1, "Operation is not permitted\n"};
    screenLock = arguments[1];
    return {0, ""};
  }
  std::unique_ptr<ChildProcess> launch(const std::string& executable, const Strings& arguments) override {
    if (!caffeinateStarts) return nullptr;
    const auto pid = static_cast<pid_t>(1001 + children.size());
    return std::make_unique<Handle>(
        children.emplace_back(std::make_shared<Child>(pid, executable, arguments, !caffeinateEndsAtOnce)));
  }
  std::unique_ptr<ChildProcess> adopt(const ProcessIdentity& identity, const std::string& executable,
                                      const Strings& arguments) override {
    for (const auto& child : children)
      if (child->identity() == identity && child->running && child->executable == executable &&
          child->arguments == arguments)
        return std::make_unique<Handle>(child);
    return nullptr;
  }
  bool execute(const std::string& source) override {
    scripts.push_back(source);
    if (!administratorApproves || !source.starts_with("do shell script \"")) return false;
    if (source == "do shell script \"/usr/bin/pmset -a disablesleep 0\" with administrator privileges") {
      if (sleepDisabled && !pmsetChangeWorks) return false;  // as root, pmset needs no rule
      if (sleepDisabled) staleLeft = readingsBehind;
      sleepDisabled = false;
      return true;
    }
    ruleInstalled = source.find("/bin/rm -f") == std::string::npos;
    return true;
  }
  AdministratorScriptOutcome executeTellingCancel(const std::string& source) override {
    if (administratorCancels) return scripts.push_back(source), AdministratorScriptOutcome::cancelled;
    return execute(source) ? AdministratorScriptOutcome::succeeded : AdministratorScriptOutcome::failed;
  }
  bool verifyPassword(const std::string& user, const std::string& password) override {
    return user == account && password == loginPassword;
  }
  bool fileExists(const std::string& path) override {
    return ruleInstalled && path == "/etc/sudoers.d/corvel-" + account;
  }
  TimePoint now() override { return current; }
  void sleepFor(std::chrono::milliseconds length) override { current += length; }
  double elapsed() const { return std::chrono::duration<double>(current - TimePoint{}).count(); }
  std::optional<bool> screenIsLockedFlag() override { return sessionLocked; }
  std::optional<BatteryReading> battery() override { return batteryReading; }
  std::optional<ThermalState> thermalState() override { return thermal; }
  std::optional<bool> lidClosed() override { return lid; }
  const Strings& arguments() const override { return argumentList; }
  std::optional<std::string> variable(std::string_view name) const override {
    const auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  std::string userName() const override { return account; }
  std::size_t runningChildren() const {
    return std::count_if(children.begin(), children.end(), [](auto& c) { return c->running; });
  }

  std::string screenLock = "immediate";  // as sysadminctl takes it: "immediate", "off" or seconds
  bool sleepDisabled = false;
  bool ruleInstalled = false;  // the drop-in for `account` is in place
  std::string account = "alice", loginPassword = "secret";
  std::optional<bool> sessionLocked;
  std::optional<BatteryReading> batteryReading;  // none: a Mac without a battery
  std::optional<ThermalState> thermal = ThermalState::nominal;
  std::optional<bool> lid = false;  // true: closed
  Strings argumentList{"Corvel"};
  std::map<std::string, std::string, std::less<>> variables;
  // Failure switches.
  bool administratorApproves = true;
  bool administratorCancels = false;  // the approval prompt is cancelled, where the runner can tell
  bool installedRuleWorks = true;     // false: the drop-in lands but sudo refuses it
  bool pmsetChangeWorks = true;       // false: sudo pmset fails to change the flag (re-setting works)
  bool screenLockChangeWorks = true;  // false: sysadminctl refuses every change
  bool caffeinateStarts = true, caffeinateEndsAtOnce = false;
  int readingsBehind = 0, staleLeft = 0;  // after a change, readings of `pmset -g` that still show the value before
  std::map<std::string, ProcessResult> answers;                 // a short-lived run's line answered thus instead
  std::map<std::string, std::chrono::milliseconds> timeLimits;  // of each line's latest run

  std::function<void(const std::string&)> onRun;  // sees each short-lived run's line before the Mac acts on it
  Strings scripts;                                // every administrator script source
  std::vector<std::shared_ptr<Child>> children;
  TimePoint current{};
};

// The launch agent of the watchdog and the workspace that finds and opens Corvel.
struct FakeLaunchServices final : AgentServices, AgentProcesses, Workspace {
  struct Agent final : AgentService {
    explicit Agent(FakeLaunchServices& owner) : owner(owner) {}
    AgentStatus status() override { return owner.agentStatus; }
    bool registerAgent() override { return !registerAgentReturningFailure(); }
    bool unregisterAgent() override { return owner.agentCalls.push_back("unregister"), true; }
    std::optional<AgentRegistrationFailure> registerAgentReturningFailure() override {
      if (owner.onRegister) owner.onRegister();
      owner.agentCalls.push_back("register");
      owner.agentStatus = owner.registrationFailure ? owner.statusAfterFailure : AgentStatus::enabled;
      return owner.registrationFailure;
    }
    FakeLaunchServices& owner;
  };
  std::unique_ptr<AgentService> agentServiceWithPlistName(const std::string&) override {
    return std::make_unique<Agent>(*this);
  }
  std::optional<bool> isAgentRunning(const std::string&) override { return agentRunning; }
  bool isApplicationRunning(const std::string& id) override { return corvelRunning && id == "app.corvel.Corvel"; }
  std::optional<std::string> applicationLocation(const std::string& id) override {
    return id == "app.corvel.Corvel" ? corvelLocation : std::nullopt;
  }
  void openApplication(const std::string& at, const Strings& arguments, bool activates) override {
    opened.push_back(joined(at, arguments) + (activates ? " (activated)" : ""));
  }
  AgentStatus agentStatus = AgentStatus::notRegistered;
  std::optional<AgentRegistrationFailure> registrationFailure;  // set: registering fails thus
  AgentStatus statusAfterFailure = AgentStatus::notRegistered;
  std::optional<bool> agentRunning;
  bool corvelRunning = false;
  std::optional<std::string> corvelLocation = "/Applications/Corvel.app";
  Strings agentCalls, opened;
  std::function<void()> onRegister;  // sees each registration before it is made
};

inline constexpr Failure LastFailure = Failure::watchdogSignatureRefused;

// Whether `request` is a failure's alert, as failure_alerts words it.
inline bool isFailureAlert(const AlertRequest& request) {
  for (int i = 0; i <= static_cast<int>(LastFailure); ++i)
    if (const auto alert = alertFor(static_cast<Failure>(i)))
      if (alert->messageText == request.messageText && alert->informativeText == request.informativeText) return true;
  return false;
}

// Every question Corvel asks, as the person reads it: title, then the text below it, the style (none: the
// platform's default) and the buttons; a prompt for the password also names its field. Any other alert
// is a failure's, exactly as it tells it.
inline void expectAlertsAsWritten(const FakeDesk& desk) {
  const std::optional<AlertStyle> w = AlertStyle::warning;
  const Strings password{"続ける", "キャンセル"};
  const std::map<std::string, std::tuple<std::string, std::optional<AlertStyle>, Strings>, std::less<>> written{
      {"Macの設定を元に戻しますか？",
       {"スリープ防止を解除し、画面ロック設定と追加権限を元に戻してから終了します。",
        w,
        {"元に戻して終了", "キャンセル"}}},
      {"リモート強制モードを設定します",
       {"このモードは画面ロックを無効にします。第三者がMacを直接操作できない安全な場所でのみ使用してください。"
        "初回のみMacのログインパスワードが必要です。",
        w,
        {"設定する", "キャンセル"}}},
      {"画面ロック防止を設定します", {"入力内容は保存されません。", std::nullopt, password}},
      {"画面ロック設定を元に戻します", {"入力内容は保存されません。", std::nullopt, password}}};
  for (const auto& request : desk.requests) {
    const auto it = written.find(request.messageText);
    if (it == written.end()) {
      EXPECT_TRUE(isFailureAlert(request)) << "an alert nobody wrote: " << request.messageText;
      continue;
    }
    const auto& [text, style, buttons] = it->second;
    EXPECT_EQ(request.informativeText, text) << request.messageText;
    EXPECT_EQ(request.style, style) << request.messageText;
    EXPECT_EQ(request.buttons, buttons) << request.messageText;
    EXPECT_EQ(request.secureField ? request.secureField->placeholder : "-",
              buttons == password ? "Macのログインパスワード" : "-");
  }
}

// Corvel's collaborators built on the fakes as the application builds them, the application's and the
// status check's ports, all over the same Mac.
struct Rig {
  FakeStore defaults;
  FakeMac mac;
  FakeDesk desk;
  FakeStatusBar statusBar;
  FakeLaunchServices launch;
  ToolPaths tools = macToolPaths();
  // clang-format off
  Platform platform{.defaults = defaults, .application = desk, .processes = mac, .clock = mac, .environment = mac,
                    .files = mac, .statusBar = statusBar, .administratorScript = mac, .session = mac, .alerts = desk,
                    .biometrics = desk, .directory = mac, .dockTile = desk, .agents = launch, .machine = mac,
                    .notifications = desk, .tools = tools};
  StatusPlatform statusPlatform{.processes = mac, .defaults = defaults, .session = mac, .agents = launch,
                                .agentProcesses = launch, .workspace = launch, .machine = mac, .clock = mac,
                                .tools = tools, .missingSystemFolder = std::nullopt};
  // clang-format on
  // The collaborators as the application wires them; the delegate wires its own the same way.
  Collaborators parts{platform};
  Settings& settings = parts.settings;
  CaffeinateSupervisor& caffeinate = parts.caffeinate;
  SleepSwitch& sleepSwitch = parts.sleepSwitch;
  ScreenLock& screenLock = parts.screenLock;
  LimitedPermission& permission = parts.permission;
  RemoteMode& remoteMode = parts.remoteMode;
  StatusDisplay& display = parts.display;
  Protection& protection = parts.protection;
  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(platform);

  // Set up for remote strong mode: the mode stored and the rule in place.
  void remoteStrong() {
    defaults.set(keys::protectionMode, std::string("remoteStrong"));
    mac.ruleInstalled = true;
  }
};

}  // namespace corvel::test
