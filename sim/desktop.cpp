// The simulated desktop's protocol.
#include "desktop.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "machine_sim.h"
#include "sim_root.h"

namespace corvel::sim {

namespace {

// The lines that set the machine's condition, "<name> <value>", each kept in mac/<name>.
struct ConditionLine {
  std::string_view name;
  bool (*valid)(std::string_view value);
};
constexpr ConditionLine ConditionLines[] = {
    {"battery", [](std::string_view value) { return parseBattery(value).has_value(); }},
    {"thermal", [](std::string_view value) { return parseThermalState(value).has_value(); }},
    {"lid", [](std::string_view value) { return parseLidClosed(value).has_value(); }},
};

// The condition `line` sets, when it names one with a value that reads.
const ConditionLine* conditionLine(std::string_view line) {
  for (const auto& condition : ConditionLines) {
    const std::size_t length = condition.name.size();
    if (line.size() > length + 1 && line.starts_with(condition.name) && line[length] == ' ' &&
        condition.valid(line.substr(length + 1))) {
      return &condition;
    }
  }
  return nullptr;
}

bool isOwnFifo(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

int openDesktopPipe(const std::filesystem::path& root) {
  const std::filesystem::path pipe = root / "desktop";
  // A second round covers a pipe that another process set aside or replaced meanwhile.
  for (int round = 0; round < 3; ++round) {
    if (::mkfifo(pipe.c_str(), 0600) != 0 && errno != EEXIST) return -1;
    // Read only: once its last writer has gone, the end shows, and what that writer left unfinished
    // can be dropped (see FrontEnd::addInput).
    const int fd = ::open(pipe.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && isOwnFifo(fd)) return fd;
    if (fd >= 0) ::close(fd);
    // A file would be replayed as input and never be a pipe again; a link would let its target be
    // read as commands, or written into by the next launch.
    if (::rename(pipe.c_str(), setAsideName(pipe, "set-aside").c_str()) != 0 && errno != ENOENT) return -1;
  }
  return -1;
}

bool desktopPipeReplaced(const std::filesystem::path& root, int fd) {
  // Never through a link: a link planted there is something else, to be set aside by the reopening.
  struct stat named {};
  if (::lstat((root / "desktop").c_str(), &named) != 0) return errno == ENOENT;
  struct stat opened {};
  return ::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino;
}

bool writeToDesktopPipe(const std::filesystem::path& root, std::string_view line) {
  // Without blocking: a pipe nobody reads refuses at once rather than holding this launch.
  const int fd = ::open((root / "desktop").c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = isOwnFifo(fd) && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  return written;
}

SimDesktop::SimDesktop(std::filesystem::path root, FrontEnd& frontEnd, SimApplication& application,
                       SimStatusBar& statusBar)
    : root_(std::move(root)), frontEnd_(frontEnd), application_(application), statusBar_(statusBar) {
  statusBar_.onTitleChange = [this](const std::string& title) { frontEnd_.say("メニューバー: " + title); };
  statusBar_.onMenuTracking = [this](SimMenu& menu) { trackMenu(menu); };
  frontEnd_.setLineHandler([this](const std::string& line) { handle(line); });
}

void SimDesktop::handle(const std::string& line) {
  if (line == "click") {
    clickStatusItem(MouseButton::left);
  } else if (line == "right-click") {
    clickStatusItem(MouseButton::right);
  } else if (line == "dock-click") {
    application_.reopen();
  } else if (line == "quit") {
    application_.terminate();
  } else if (line == "lock-screen" || line == "unlock-screen") {
    setMacValue("session-locked", line == "lock-screen" ? "1" : "0");
  } else if (const auto* condition = conditionLine(line)) {
    setMacValue(condition->name, std::string_view(line).substr(condition->name.size() + 1));
  } else if (line.empty()) {
  } else {
    // Never the line itself: anyone who can write to the pipe would reach the terminal through it,
    // and a password typed when no dialog is open would be shown and logged.
    std::string understood =
        "click, right-click, dock-click, quit, lock-screen, unlock-screen, battery <0-100> <ac|battery>, "
        "thermal <nominal|fair|serious|critical>, lid <open|closed>";
    for (const auto& answer : frontEnd_.pendingAnswers()) understood += ", " + answer;
    frontEnd_.explain("その行は分かりません。使えるのは " + understood + " です。");
  }
}

void SimDesktop::setMacValue(std::string_view name, std::string_view value) {
  // A file that cannot be replaced (something else at its name, a full disk) must not end Corvel.
  try {
    writeValue(root_, name, value);
  } catch (const std::exception& error) {
    frontEnd_.say("mac/" + std::string(name) + " を書き換えられませんでした: " + error.what());
  }
}

void SimDesktop::clickStatusItem(MouseButton button) {
  const auto& item = statusBar_.statusItem();
  if (!item) {
    frontEnd_.say("メニューバーにはまだ項目がありません。");
    return;
  }
  item->click(button);
}

void SimDesktop::trackMenu(SimMenu& menu) {
  std::map<std::string, std::shared_ptr<SimMenuItem>> choices;
  frontEnd_.say("メニュー:");
  const auto list = [&](const SimMenu& m, const std::string& indent, const auto& self) -> void {
    for (const auto& entry : m.entries()) {
      if (!entry.item) {
        frontEnd_.say(indent + "────");
        continue;
      }
      const auto& item = entry.item;
      std::string line = indent + (item->isChecked() ? "✓ " : "  ") + item->title();
      if (!item->isEnabled()) line += "（選択できません）";
      if (!item->keyEquivalent().empty()) line += "  ⌘" + item->keyEquivalent();
      if (item->submenu()) line += " ▸";
      frontEnd_.say(line);
      if (item->isEnabled() && item->hasAction()) choices[item->title()] = item;
      if (item->submenu()) self(*item->submenu(), indent + "    ", self);
    }
  };
  list(menu, "  ", list);
  frontEnd_.say("項目の名前を入力してください（閉じるには close）");
  std::shared_ptr<SimMenuItem> chosen;
  for (;;) {
    const auto line = frontEnd_.readLine();
    if (!line || *line == "close") break;
    if (const auto it = choices.find(*line); it != choices.end()) {
      chosen = it->second;
      break;
    }
    std::string understood;
    for (const auto& [title, item] : choices) understood += title + " / ";
    frontEnd_.explain("その行はこのメニューで選べません。選べるのは " + understood + "close です。");
  }
  // The menu closes first; the chosen command runs afterwards, as on the Mac.
  if (chosen) chosen->choose();
}

}  // namespace corvel::sim
