// The simulated desktop's protocol.
#include "desktop.h"

#include <map>

#include "sim_root.h"

namespace corvel::sim {

SimDesktop::SimDesktop(std::filesystem::path root, FrontEnd& frontEnd, SimApplication& application,
                       SimStatusBar& statusBar)
    : root_(std::move(root)), frontEnd_(frontEnd), application_(application), statusBar_(statusBar) {
  statusBar_.onTitleChange = [this](const std::string& title) { frontEnd_.say("メニューバー: " + title); };
  statusBar_.onMenuTracking = [this](SimMenu& menu) { trackMenu(menu); };
  frontEnd_.setLineHandler([this](const std::string& line) { handle(line); });
}

void SimDesktop::handle(const std::string& line) {
  if (line == "click") {
    clickStatusItem(ClickKind::left);
  } else if (line == "right-click") {
    clickStatusItem(ClickKind::right);
  } else if (line == "dock-click") {
    application_.reopen();
  } else if (line == "quit") {
    application_.terminate();
  } else if (line == "lock-screen" || line == "unlock-screen") {
    writeValue(root_, "session-locked", line == "lock-screen" ? "1" : "0");
  } else if (line.empty()) {
  } else {
    frontEnd_.say("「" + line + "」は分かりません。使えるのは click, right-click, dock-click, quit, lock-screen, "
                  "unlock-screen です。");
  }
}

void SimDesktop::clickStatusItem(ClickKind click) {
  const auto& item = statusBar_.statusItem();
  if (!item) {
    frontEnd_.say("メニューバーにはまだ項目がありません。");
    return;
  }
  // A button without an action (and no menu) ignores the click, as on the Mac.
  if (!item->hasAction() && !item->menu()) return;
  statusBar_.setCurrentClick(click);
  item->click();
  statusBar_.setCurrentClick(std::nullopt);
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
    frontEnd_.say("「" + *line + "」はこのメニューで選べません。項目の名前か close を入力してください。");
  }
  // The menu closes first; the chosen command runs afterwards, as on the Mac.
  if (chosen) chosen->choose();
}

}  // namespace corvel::sim
