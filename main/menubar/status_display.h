// What the status item, its menu and the Dock icon show, recomputed from the live system.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/engine/caffeinate_supervisor.h"
#include "main/engine/sleep_switch.h"
#include "main/remote/screen_lock.h"
#include "main/settings.h"
#include "ports/dock_tile.h"
#include "ports/status_bar.h"

namespace corvel {

enum class DisplayState { locked, on, off };

// The lock is shown only while protection is really in force.
DisplayState displayStateFor(bool effectivelyOn, bool sessionLocked);

struct StatusTexts {
  std::string title;
  std::string toolTip;
  std::string statusLine;
  std::string toggleTitle;
};

StatusTexts statusTexts(DisplayState state, ProtectionMode mode);

// The objects that show the state: made once, placed into the menu by the status menu.
struct StatusViews {
  std::shared_ptr<StatusItem> statusItem;  // none until the menu bar is set up
  std::shared_ptr<MenuItem> statusLine;
  std::shared_ptr<MenuItem> toggleItem;
  std::vector<std::shared_ptr<MenuItem>> modeItems;  // one per mode, in the order of protectionModes()
};

class StatusDisplay {
 public:
  StatusDisplay(StatusBar& statusBar, DockTile& dockTile, Settings& settings, SleepSwitch& sleepSwitch,
                ScreenLock& screenLock, CaffeinateSupervisor& caffeinate);

  // The one redraw of the whole display. In remote strong mode the sleep switch is read every time:
  // the display shows what the system does, not what was stored.
  void refreshStatus();
  Drawing makeDockIcon(bool enabled, bool locked);
  StatusViews& views() { return views_; }

 private:
  DockTile& dockTile_;
  Settings& settings_;
  SleepSwitch& sleepSwitch_;
  ScreenLock& screenLock_;
  CaffeinateSupervisor& caffeinate_;
  StatusViews views_;
  // What the Dock shows now: the system redraws the tile for every new image, so an unchanged one is
  // not sent again.
  std::optional<DisplayState> shownIcon_;
};

}  // namespace corvel
