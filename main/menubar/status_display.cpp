// The status texts, and refreshStatus(): recomputing the display from the live system.
#include "status_display.h"

#include "main/app_delegate.h"

namespace corvel {

DisplayState displayStateFor(bool effectivelyOn, bool sessionLocked) {
  if (!effectivelyOn) return DisplayState::off;
  return sessionLocked ? DisplayState::locked : DisplayState::on;
}

StatusTexts statusTexts(DisplayState state, ProtectionMode mode) {
  const std::string name(displayName(mode));
  switch (state) {
    case DisplayState::locked:
      return {"🟠 ON・現在ロック中", "防止設定はONですが、現在の画面はロックされています", "現在：防止ON・画面はロック中",
              "OFFに切り替える"};
    case DisplayState::on:
      return {"🟢 スリープ防止 ON", name + "：ON", "現在：ON（" + name + "）", "OFFに切り替える"};
    case DisplayState::off:
      break;
  }
  // Off in remote strong mode: the screen lock stays disabled even while sleep prevention is off.
  return {"⚫ スリープ防止 OFF", name + "：OFF",
          mode == ProtectionMode::remoteStrong ? "現在：OFF（ロック防止は常時ON）" : "現在：OFF", "ONに切り替える"};
}

void AppDelegate::refreshStatus() {
  const bool locked = isSessionLocked();
  const ProtectionMode currentMode = mode();
  // In remote strong mode the sleep switch is read on every refresh: the display shows what the
  // system does, not what was stored.
  const bool modeInForce = currentMode == ProtectionMode::remoteStrong ? isSleepDisabled() : enabled();
  const bool effectivelyOn = enabled() && modeInForce && isCaffeinateRunning();

  standardModeItem->setState(currentMode == ProtectionMode::standard ? 1 : 0);
  remoteModeItem->setState(currentMode == ProtectionMode::remoteStrong ? 1 : 0);
  const StatusTexts texts = statusTexts(displayStateFor(effectivelyOn, locked), currentMode);
  toggleItem->setTitle(texts.toggleTitle);
  if (statusItem && statusItem->hasButton()) {
    statusItem->setButtonTitle(texts.title);
    statusItem->setButtonToolTip(texts.toolTip);
  }
  statusLine->setTitle(texts.statusLine);
  updateDockIcon(effectivelyOn, locked);
}

}  // namespace corvel
