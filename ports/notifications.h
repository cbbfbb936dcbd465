// Port: notifications in the system's notification centre, for what happened while nobody watched.
#pragma once

#include <string>

namespace corvel {

class Notifications {
 public:
  virtual ~Notifications() = default;
  // Asks the person once whether Corvel may notify; the system remembers the answer, so a later call
  // asks nothing. Never waits for the answer.
  virtual void requestPermission() = 0;
  // Shown when permitted, dropped otherwise; never waits and never fails loudly.
  virtual void post(const std::string& title, const std::string& body) = 0;
};

}  // namespace corvel
