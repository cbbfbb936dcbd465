// Port: the window server's description of the current login session.
#pragma once

#include <optional>

namespace corvel {

class Session {
 public:
  virtual ~Session() = default;
  // The session's screen-is-locked flag; false when the description carries no flag, none when
  // there is no session description (outside a login session, as over SSH) or the flag is not a
  // Boolean.
  virtual std::optional<bool> screenIsLockedFlag() = 0;
};

}  // namespace corvel
