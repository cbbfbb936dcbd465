// The screen-lock setting: reading it from `sysadminctl -screenLock status`, changing it with a
// read-back, and the session's locked state.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "main/settings.h"
#include "ports/process_runner.h"
#include "ports/session.h"
#include "ports/tool_paths.h"

namespace corvel {

// The only place the tool's answer is interpreted. Looks at the whole text, lower-cased; a phrase
// counts wherever it stands. Anything unrecognised is unknown.
ScreenLockState parseScreenLockState(std::string_view output);

// sysadminctl asks the directory service before it answers, which can take a moment on a busy Mac;
// it is read only in flows the person started, never on the refresh.
inline constexpr RunLimits ScreenLockReadingLimits{std::chrono::seconds(5), ToolOutputCap};
// A change also checks the login password first.
inline constexpr RunLimits ScreenLockChangeLimits{std::chrono::seconds(15), ToolOutputCap};

class ScreenLock {
 public:
  ScreenLock(ProcessRunner& processes, Session& session, const ToolPaths& tools)
      : processes_(processes), session_(session), tools_(tools) {}

  // Unknown also when the tool gave no answer in time.
  ScreenLockState screenLockState();
  // Changes the setting with the login password, given to the tool on standard input only; true
  // when the tool succeeded and a reading afterwards shows `state`.
  bool applyScreenLockState(const ScreenLockState& state, const std::string& password);
  // Whether the login session's screen is locked now; false when the system does not say.
  bool isSessionLocked();

 private:
  ProcessRunner& processes_;
  Session& session_;
  const ToolPaths& tools_;
};

}  // namespace corvel
