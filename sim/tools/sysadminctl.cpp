// The simulated Mac's sysadminctl, screen-lock part only: mac/screenlock, guarded by the login password.
//
//   sysadminctl -screenLock status
//       Answers on standard error behind an NSLog-style prefix ("2026-12-06 10:00:00.123
//       sysadminctl[<pid>:<thread>] "), as the real tool does: "screenLock delay is immediate",
//       "screenLock is off", or "screenLock delay is <n> seconds" for whatever else mac/screenlock
//       holds (so a test can plant an odd value such as -1). Exit 0.
//   sysadminctl -screenLock <immediate | off | seconds> -password <password | ->
//       With "-" the password is one line read from standard input (its line feed dropped);
//       otherwise the argument is the password, which the real tool allows. When it equals
//       mac/login-password and the value is "immediate", "off" or a decimal number of seconds, the
//       value is stored and it exits 0 silently. 0 seconds is stored as "immediate" (inferred from
//       the real tool naming no delay "immediate", unconfirmed). Otherwise a failure line on
//       standard error and exit 1; the real tool's failure wording and exit status are unconfirmed
//       (field reports say it can exit 0 after failing), so callers should read the status back.
//   Options may come in either order. Anything else: a short usage on standard error, exit 1.
// Every invocation but the status question appends its arguments, joined by blanks, to
// mac/sysadminctl-calls for tests to read; a password argument is recorded as "-" when it is "-"
// and as "<redacted>" otherwise. The password itself is never written anywhere.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "sim/sim_root.h"
#include "sim/tools/tool_support.h"
#include "support/decimal.h"

namespace {
namespace fs = std::filesystem;

void logLine(std::string_view body) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(stderr, "%s.%03ld sysadminctl[%d:%ld] %.*s\n", date, now.tv_nsec / 1'000'000L,
               static_cast<int>(getpid()), static_cast<long>(syscall(SYS_gettid)), static_cast<int>(body.size()),
               body.data());
}

int usage() {
  std::fputs("Usage: sysadminctl -screenLock status\n"
             "       sysadminctl -screenLock <immediate | off | seconds> -password <password | ->\n"
             "Pass '-' instead of password to read it from standard input.\n",
             stderr);
  return 1;
}

// Whatever follows "-password" is hidden, even where the parser would read it otherwise (as in
// "-screenLock -password -password secret"), so no misplaced argument can leak a password.
void recordCall(const fs::path& root, const std::vector<std::string>& args) {
  std::string line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line += ' ';
    const bool secret = i > 0 && args[i - 1] == "-password";
    line += !secret ? args[i] : args[i] == "-" ? "-" : "<redacted>";
  }
  line += '\n';
  // O_APPEND and a single write keep lines whole when several invocations run at once.
  const int fd = ::open((root / "mac" / "sysadminctl-calls").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
}

// The stored form of a requested setting, or none when the value is not one the tool takes.
std::optional<std::string> storedForm(const std::string& value) {
  if (value == "immediate" || value == "off") return value;
  const auto seconds = corvel::parseDecimal(value);
  if (!seconds || *seconds > INT_MAX) return std::nullopt;
  if (*seconds == 0) return std::string("immediate");
  return std::to_string(*seconds);
}

int reportStatus(const fs::path& root) {
  const auto value = corvel::sim::readValue(root, "screenlock");
  if (!value) {
    logLine("Failed to read screenLock status");
    return 1;
  }
  if (*value == "immediate") {
    logLine("screenLock delay is immediate");
  } else if (*value == "off") {
    logLine("screenLock is off");
  } else {
    logLine("screenLock delay is " + *value + " seconds");
  }
  return 0;
}

int change(const fs::path& root, const std::string& value, const std::string& passwordArgument) {
  std::string password = passwordArgument == "-" ? corvel::sim::readPasswordLine() : passwordArgument;
  const auto expected = corvel::sim::readValue(root, "login-password");
  const bool authenticated = expected && password == *expected;
  explicit_bzero(password.data(), password.size());
  if (!authenticated) {
    logLine("Failed to change screenLock: authentication failed");
    return 1;
  }
  const auto stored = storedForm(value);
  if (!stored) {
    logLine("Failed to change screenLock: invalid value");
    return 1;
  }
  corvel::sim::changeValue(root, "screenlock", *stored, "sysadminctl");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const fs::path root = corvel::sim::rootFolder();
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Asking for the status changes nothing, as on the Mac: no machine made, no call recorded.
    if (args == std::vector<std::string>{"-screenLock", "status"}) return reportStatus(root);
    corvel::sim::ensureInitialized(root);
    recordCall(root, args);
    std::optional<std::string> screenLock, password;
    if (args.empty() || args.size() % 2 != 0) return usage();
    for (std::size_t i = 0; i < args.size(); i += 2) {
      auto* slot = args[i] == "-screenLock" ? &screenLock : args[i] == "-password" ? &password : nullptr;
      if (!slot || *slot) return usage();
      *slot = args[i + 1];
    }
    if (!screenLock) return usage();
    if (*screenLock == "status") return reportStatus(root);
    if (!password) {
      logLine("Failed to change screenLock: a password is required");
      return 1;
    }
    return change(root, *screenLock, *password);
  } catch (const std::exception& error) {
    logLine(std::string("Failed: ") + error.what());
    return 1;
  }
}
