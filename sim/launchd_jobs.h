// The simulated launchd's jobs: each registered agent is kept running by a supervisor of its own
// (the sim tool "launchd"), as launchd keeps a KeepAlive agent running, and the supervisor records
// which process runs the agent now.
//
//   Library/LaunchAgents/<plist>  the registration, "program=<path>"; the job lasts as long as it
//   launchd/<plist>.lock          write-locked by the job's supervisor for its life, holding its pid
//   launchd/<plist>               the agent it runs now: "program=…", "pid=…", "started=…" lines
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace corvel::sim {

// A property list's name can name a job: one plain file name, no folder, no dot file.
bool isJobName(std::string_view plistName);

std::filesystem::path registrationFile(const std::filesystem::path& root, std::string_view plistName);
std::filesystem::path jobFile(const std::filesystem::path& root, std::string_view plistName);
std::filesystem::path jobLockFile(const std::filesystem::path& root, std::string_view plistName);

// The pid of the job's agent while it runs `program`: the recorded pid, started at the recorded
// time and running exactly that program, so that a pid the system has since handed to another
// process is never taken for it. 0 when none runs; none when the record cannot be read.
std::optional<pid_t> runningAgent(const std::filesystem::path& root, std::string_view plistName,
                                  const std::filesystem::path& program);

// The registration file's contents for an agent running `program`.
std::string registrationText(const std::filesystem::path& program);

}  // namespace corvel::sim
