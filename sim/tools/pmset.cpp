// The simulated Mac's pmset: the SleepDisabled switch in mac/disablesleep, caffeinate's assertions, the
// power source in mac/battery, and sleeping on demand.
//
//   pmset -g [live]           the settings, on standard output, shaped as the real tool prints them:
//                             "System-wide power settings:", then " SleepDisabled\t\t<value>" only
//                             once mac/disablesleep exists, then "Currently in use:" and a fixed set
//                             of typical laptop values in the real column layout (" %-20s %s"). While
//                             a caffeinate holds an assertion, the sleep and displaysleep lines carry
//                             the real tool's "(sleep prevented by caffeinate)" note (wording from
//                             memory of real output, unconfirmed).
//   pmset -g assertions       the system-wide assertion counts and the live caffeinate holders; the
//                             real tool also prints assertion ids and ages, which the sim leaves out.
//   pmset -a disablesleep 0|1 writes mac/disablesleep; only as root, which in the sim means
//                             CORVEL_SIM_PRIVILEGED=1. Otherwise it prints "'/usr/bin/pmset' must be
//                             run as root..." (from a field report, unconfirmed) and exits 1.
//   pmset -g batt | ps        the power source, from mac/battery, as Apple's pmset.c (PowerManagement,
//                             show_power_sources) and field reports of recent systems show it:
//                             "Now drawing from 'AC Power'" or 'Battery Power', then for the battery
//                             " -InternalBattery-0 (id=<registry id>)\t<percent>%; <state>; <time>
//                             present: true", state "discharging", "charging" or, full on mains,
//                             "charged". The sim keeps no time estimate, so it says "(no estimate)"
//                             as the real tool does while it calculates ("0:00 remaining" when
//                             charged), and a fixed id. A Mac without a battery (mac/battery absent)
//                             gets the first line alone. A mac/battery that does not read prints the
//                             real tool's "No power source info available" and exits 1 (the real
//                             tool's status there is unconfirmed).
//   pmset sleepnow            puts the Mac to sleep: appends the UTC time to mac/slept and prints
//                             "Sleeping now...". No root needed: pmset.c asks IOPMSleepSystem, which
//                             Apple documents as for "root or the console user", and Corvel runs as
//                             the console user. The kernel refuses any sleep while SleepDisabled is
//                             set (IOPMrootDomain::privateSleepSystem, kIOReturnNotPermitted); then,
//                             as pmset.c does, "Unable to sleep system: error 0xe00002e2", exit 71
//                             (EX_OSERR), and nothing recorded.
// When mac/disablesleep is there but cannot be read, or mac/ itself cannot be, pmset -g says so on
// standard error and exits 1 rather than print settings without the switch, which would read as
// sleep allowed.
// Any other form prints a short usage on standard error and exits 1; the real tool knows many more
// settings and forms, which Corvel does not use. Like the real tool, the reading forms change
// nothing: they neither make a missing machine nor clear a dead holder's assertion file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "sim/assertions.h"
#include "sim/machine_sim.h"
#include "sim/sim_root.h"

namespace {
namespace fs = std::filesystem;

struct Holder {
  pid_t pid;
  std::string flags;  // e.g. "-d -i"
};

std::vector<Holder> holders(const fs::path& root) {
  std::vector<Holder> found;
  for (pid_t pid : corvel::sim::assertionHolders(root)) {
    auto flags = corvel::sim::readFile(corvel::sim::assertionFile(root, pid));
    if (!flags) continue;                                      // released between the listing and the read
    flags->erase(std::min(flags->find('\n'), flags->size()));  // the machine's line follows
    found.push_back({pid, *flags});
  }
  return found;
}

bool holds(const Holder& holder, char flag) {
  std::istringstream words(holder.flags);
  for (std::string word; words >> word;) {
    if (word.size() == 2 && word[0] == '-' && word[1] == flag) return true;
  }
  return false;
}

bool anyHolds(const std::vector<Holder>& all, std::string_view flags) {
  for (const auto& holder : all) {
    for (char flag : flags) {
      if (holds(holder, flag)) return true;
    }
  }
  return false;
}

void printSetting(const char* name, const std::string& value) { std::printf(" %-20s %s\n", name, value.c_str()); }

int printSettings(const fs::path& root) {
  const auto disabled = corvel::sim::readValue(root, "disablesleep");
  // Only a switch that is not there means sleep is allowed; one that cannot be read means nothing.
  if (!disabled && !corvel::sim::valueAbsent(root, "disablesleep")) {
    std::fputs("pmset: the power settings cannot be read\n", stderr);
    return 1;
  }
  const auto all = holders(root);
  std::printf("System-wide power settings:\n");
  if (disabled) std::printf(" SleepDisabled\t\t%s\n", disabled->c_str());
  std::printf("Currently in use:\n");
  printSetting("standby", "1");
  std::printf(" Sleep On Power Button 1\n");  // the real tool's one name wider than its column
  printSetting("hibernatefile", "/var/vm/sleepimage");
  printSetting("powernap", "1");
  printSetting("networkoversleep", "0");
  printSetting("disksleep", "10");
  // A display assertion keeps the system awake too.
  printSetting("sleep", anyHolds(all, "dis") ? "1 (sleep prevented by caffeinate)" : "1");
  printSetting("hibernatemode", "3");
  printSetting("ttyskeepawake", "1");
  printSetting("displaysleep", anyHolds(all, "d") ? "10 (display sleep prevented by caffeinate)" : "10");
  printSetting("tcpkeepalive", "1");
  printSetting("lowpowermode", "0");
  printSetting("womp", "0");
  return 0;
}

int printPowerSource(const fs::path& root) {
  const auto text = corvel::sim::readValue(root, "battery");
  const auto battery = text ? corvel::sim::parseBattery(*text) : std::nullopt;
  if (!battery && !corvel::sim::valueAbsent(root, "battery")) {
    std::puts("No power source info available");
    return 1;
  }
  std::printf("Now drawing from '%s'\n", battery && battery->onBattery ? "Battery Power" : "AC Power");
  if (!battery) return 0;
  const char* state = battery->onBattery        ? "discharging; (no estimate)"
                      : battery->percent == 100 ? "charged; 0:00 remaining"
                                                : "charging; (no estimate)";
  std::printf(" -InternalBattery-0 (id=9896035)\t%d%%; %s present: true\n", battery->percent, state);
  return 0;
}

int sleepNow(const fs::path& root) {
  if (corvel::sim::readValue(root, "disablesleep") == "1") {
    std::puts("Unable to sleep system: error 0xe00002e2");
    return 71;
  }
  corvel::sim::ensureInitialized(root);
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ\n", &utc);
  // O_APPEND and a single write keep lines whole when several calls come at once.
  const int fd = ::open((root / "mac" / "slept").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, stamp, std::strlen(stamp)) != static_cast<ssize_t>(std::strlen(stamp))) {
    if (fd >= 0) ::close(fd);
    std::fputs("pmset: the sleep cannot be recorded\n", stderr);
    return 1;
  }
  ::close(fd);
  std::puts("Sleeping now...");
  return 0;
}

struct AssertionType {
  char flag;
  const char* name;
};
constexpr AssertionType AssertionTypes[] = {{'u', "UserIsActive"},
                                            {'d', "PreventUserIdleDisplaySleep"},
                                            {'s', "PreventSystemSleep"},
                                            {'m', "PreventDiskIdle"},
                                            {'i', "PreventUserIdleSystemSleep"}};

int printAssertions(const fs::path& root) {
  const auto all = holders(root);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[40];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S %z", &local);
  std::printf("%s \nAssertion status system-wide:\n", date);
  for (const auto& type : AssertionTypes) {
    std::printf("   %-30s %d\n", type.name, anyHolds(all, std::string_view(&type.flag, 1)) ? 1 : 0);
  }
  std::printf("Listed by owning process:\n");
  for (const auto& holder : all) {
    for (const auto& type : AssertionTypes) {
      if (holds(holder, type.flag)) {
        std::printf("   pid %d(caffeinate): %s named: \"caffeinate command-line tool\"\n", static_cast<int>(holder.pid),
                    type.name);
      }
    }
  }
  return 0;
}

int usage() {
  std::fputs("Usage: pmset -g [live | assertions | batt | ps]\n"
             "       pmset -a disablesleep <0 | 1>\n"
             "       pmset sleepnow\n",
             stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const fs::path root = corvel::sim::rootFolder();
    const std::vector<std::string> args(argv + 1, argv + argc);
    using Args = std::vector<std::string>;
    if (args == Args{"-g"} || args == Args{"-g", "live"}) return printSettings(root);
    if (args == Args{"-g", "assertions"}) return printAssertions(root);
    if (args == Args{"-g", "batt"} || args == Args{"-g", "ps"}) return printPowerSource(root);
    if (args == Args{"sleepnow"}) return sleepNow(root);
    if (args.size() == 3 && args[0] == "-a" && args[1] == "disablesleep" && (args[2] == "0" || args[2] == "1")) {
      const char* privileged = std::getenv(corvel::sim::PrivilegedVariable);
      if (!privileged || std::string_view(privileged) != "1") {
        std::fputs("'/usr/bin/pmset' must be run as root...\n", stderr);
        return 1;
      }
      corvel::sim::ensureInitialized(root);
      corvel::sim::changeValue(root, "disablesleep", args[2], "pmset", "0");
      return 0;
    }
    return usage();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pmset: %s\n", error.what());
    return 1;
  }
}
