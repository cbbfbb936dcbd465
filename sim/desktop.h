// The simulated desktop: what a person does at the screen (clicks on the status item, its menu and
// the Dock tile, quit requests, locking the screen), read as lines through the front end.
//
// Lines understood at any time:
//   click           left click on the status item        right-click   opens the status menu
//   dock-click      click on the Dock tile               quit          a quit request from outside
//   lock-screen     locks the session's screen           unlock-screen unlocks it
//   battery <percent> <ac|battery>   thermal <nominal|fair|serious|critical>   lid <open|closed>
//                   set the machine's condition (machine_sim.h); a value that does not read changes
//                   nothing and is explained as any line that means nothing
// While the menu is open, an entry's exact title chooses it and "close" closes it. Dialogs take
// their answers as they say. A line that means nothing now gets a one-line explanation.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "application_sim.h"
#include "front_end.h"
#include "status_bar_sim.h"

namespace corvel::sim {

// The window server's stand-in, <root>/desktop: a named pipe any process of the user writes protocol
// lines to. Returns a descriptor reading it without blocking, opened never through a link; whatever
// stands at the name and is no FIFO of this user is set aside as it is and a fresh pipe made in its
// place. -1 when none can be had.
int openDesktopPipe(const std::filesystem::path& root);

// Whether the desktop pipe open on `fd` is no longer what stands at <root>/desktop (it was removed
// or replaced), so that the one there now is to be opened instead.
bool desktopPipeReplaced(const std::filesystem::path& root, int fd);

// Writes `line` (at most one pipe buffer, so it arrives whole) into the desktop pipe, only when that
// is a FIFO of this user that someone reads; false otherwise.
bool writeToDesktopPipe(const std::filesystem::path& root, std::string_view line);

class SimDesktop {
 public:
  SimDesktop(std::filesystem::path root, FrontEnd& frontEnd, SimApplication& application, SimStatusBar& statusBar);
  SimDesktop(const SimDesktop&) = delete;
  SimDesktop& operator=(const SimDesktop&) = delete;

  void handle(const std::string& line);

 private:
  void setMacValue(std::string_view name, std::string_view value);
  void clickStatusItem(MouseButton button);
  void trackMenu(SimMenu& menu);

  std::filesystem::path root_;
  FrontEnd& frontEnd_;
  SimApplication& application_;
  SimStatusBar& statusBar_;
};

}  // namespace corvel::sim
