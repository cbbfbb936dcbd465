// The status texts, the Dock icon, and the redraw of both from the live system.
#include "status_display.h"

namespace corvel {

DisplayState displayStateFor(bool effectivelyOn, bool sessionLocked) {
  if (!effectivelyOn) return DisplayState::off;
  return sessionLocked ? DisplayState::locked : DisplayState::on;
}

StatusTexts statusTexts(DisplayState state, ProtectionMode mode) {
  const std::string name(displayName(mode));
  switch (state) {
    case DisplayState::locked:
      return {"🟠 ON・現在ロック中", "防止設定はONですが、現在の画面はロックされています",
              "現在：防止ON・画面はロック中", "OFFに切り替える"};
    case DisplayState::on:
      return {"🟢 スリープ防止 ON", name + "：ON", "現在：ON（" + name + "）", "OFFに切り替える"};
    case DisplayState::off:
      break;
  }
  return {"⚫ スリープ防止 OFF", name + "：OFF", std::string(traits(mode).offStatusLine), "ONに切り替える"};
}

StatusDisplay::StatusDisplay(StatusBar& statusBar, DockTile& dockTile, Settings& settings, SleepSwitch& sleepSwitch,
                             ScreenLock& screenLock, CaffeinateSupervisor& caffeinate)
    : dockTile_(dockTile),
      settings_(settings),
      sleepSwitch_(sleepSwitch),
      screenLock_(screenLock),
      caffeinate_(caffeinate),
      views_{nullptr, statusBar.makeMenuItem("", ""), statusBar.makeMenuItem("", ""), {}} {
  for (const ModeTraits& row : protectionModes()) {
    views_.modeItems.push_back(statusBar.makeMenuItem(std::string(row.menuTitle), ""));
  }
}

void StatusDisplay::refreshStatus() {
  const bool locked = screenLock_.isSessionLocked();
  const ProtectionMode currentMode = settings_.mode();
  const bool modeInForce =
      traits(currentMode).forbidsSystemSleep ? sleepSwitch_.isSleepDisabled() : settings_.enabled();
  const bool effectivelyOn = settings_.enabled() && modeInForce && caffeinate_.isCaffeinateRunning();

  for (std::size_t i = 0; i < views_.modeItems.size(); ++i) {
    views_.modeItems[i]->setChecked(protectionModes()[i].mode == currentMode);
  }
  const DisplayState state = displayStateFor(effectivelyOn, locked);
  const StatusTexts texts = statusTexts(state, currentMode);
  views_.toggleItem->setTitle(texts.toggleTitle);
  if (views_.statusItem && views_.statusItem->hasButton()) {
    views_.statusItem->setButtonTitle(texts.title);
    views_.statusItem->setButtonToolTip(texts.toolTip);
  }
  views_.statusLine->setTitle(texts.statusLine);
  if (shownIcon_ != state) {
    dockTile_.showIcon(makeDockIcon(effectivelyOn, locked));
    shownIcon_ = state;
  }
}

Drawing StatusDisplay::makeDockIcon(bool enabled, bool locked) {
  constexpr double canvas = 512;
  Drawing icon{canvas, canvas, {}};
  const Color background = enabled && locked ? Color::systemOrange()
                           : enabled         ? Color::systemGreen()
                                             : Color::calibratedWhite(0.25, 1.0);
  icon.steps.push_back(FillRoundedRect{26, 26, 460, 460, 105, 105, background});

  const auto [word, size] = enabled && locked ? std::pair{"LOCK", 115.0}
                            : enabled         ? std::pair{"ON", 180.0}
                                              : std::pair{"OFF", 145.0};
  // Centred by the width measured with exactly the attributes the text is drawn with.
  const Font wordFont{size, FontWeight::heavy};
  const double wordWidth = dockTile_.measureTextWidth(word, wordFont);
  icon.steps.push_back(DrawText{word, (canvas - wordWidth) / 2, 174, wordFont, Color::calibratedWhite(1.0, 1.0)});

  const std::string caption = "CORVEL MODE";
  const Font captionFont{48, FontWeight::bold};
  const double captionWidth = dockTile_.measureTextWidth(caption, captionFont);
  icon.steps.push_back(
      DrawText{caption, (canvas - captionWidth) / 2, 105, captionFont, Color::calibratedWhite(1.0, 0.9)});
  return icon;
}

}  // namespace corvel
