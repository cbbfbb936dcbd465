// Another process's identity (KERN_PROC_PID) and command line (KERN_PROCARGS2) on macOS.
#include <cstring>
#include <sys/proc.h>
#include <sys/sysctl.h>
#include <sys/time.h>

#include "process_info.h"

namespace corvel {

std::optional<ProcessIdentity> identityOf(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
  struct kinfo_proc info {};
  size_t size = sizeof info;
  // An unknown pid answers success with nothing written.
  if (::sysctl(mib, 4, &info, &size, nullptr, 0) != 0 || size < sizeof info) return std::nullopt;
  if (info.kp_proc.p_stat == SZOMB) return std::nullopt;
  const struct timeval started = info.kp_proc.p_starttime;
  const auto startTime =
      static_cast<std::uint64_t>(started.tv_sec) * 1'000'000u + static_cast<std::uint64_t>(started.tv_usec);
  return ProcessIdentity{pid, startTime, info.kp_eproc.e_ucred.cr_uid};
}

std::optional<std::vector<std::string>> commandLineOf(pid_t pid) {
  if (!identityOf(pid)) return std::nullopt;
  int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
  size_t size = 0;
  if (::sysctl(mib, 3, nullptr, &size, nullptr, 0) != 0 || size < sizeof(int)) return std::nullopt;
  std::vector<char> buffer(size);
  if (::sysctl(mib, 3, buffer.data(), &size, nullptr, 0) != 0 || size < sizeof(int)) return std::nullopt;
  // Layout: argc, the executable path, padding NULs, then argc NUL-terminated arguments.
  int argc = 0;
  std::memcpy(&argc, buffer.data(), sizeof argc);
  std::size_t at = sizeof argc;
  while (at < size && buffer[at] != '\0') ++at;  // the executable path
  while (at < size && buffer[at] == '\0') ++at;  // its padding
  std::vector<std::string> arguments;
  while (static_cast<int>(arguments.size()) < argc && at < size) {
    const char* start = buffer.data() + at;
    const std::size_t length = ::strnlen(start, size - at);
    arguments.emplace_back(start, length);
    at += length + 1;
  }
  if (arguments.empty()) return std::nullopt;
  return arguments;
}

}  // namespace corvel
