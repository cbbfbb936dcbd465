// Sim adapters over the simulated machine's files: the session's lock flag, file questions about
// system paths, and the administrator script.
#pragma once

#include <filesystem>

#include "ports/administrator_script.h"
#include "ports/file_system.h"
#include "ports/process_runner.h"
#include "ports/session.h"
#include "front_end.h"

namespace corvel::sim {

class SimSession final : public Session {
 public:
  explicit SimSession(std::filesystem::path root) : root_(std::move(root)) {}
  std::optional<bool> screenIsLockedFlag() override;

 private:
  std::filesystem::path root_;
};

// Asks about system paths where the simulated Mac keeps them.
class SimFileSystem final : public FileSystem {
 public:
  SimFileSystem(std::filesystem::path root, FileSystem& real) : root_(std::move(root)), real_(real) {}
  bool fileExists(const std::string& path) override;

 private:
  std::filesystem::path root_;
  FileSystem& real_;
};

// Stands in for the system's script runner with `do shell script "…" with administrator
// privileges`: it reads the script as the script language would, asks the person at the front end
// for approval, and runs the command with /bin/sh as the simulated root, with the system folders
// it names moved under the sim root.
class SimAdministratorScript final : public AdministratorScript {
 public:
  // `pmset` is the simulated Mac's power tool, run where a script names /usr/bin/pmset.
  SimAdministratorScript(std::filesystem::path root, FrontEnd& frontEnd, ProcessRunner& processes,
                         std::filesystem::path pmset = {})
      : root_(std::move(root)), frontEnd_(frontEnd), processes_(processes), pmset_(std::move(pmset)) {}
  bool execute(const std::string& source) override;
  AdministratorScriptOutcome executeTellingCancel(const std::string& source) override;

 private:
  std::filesystem::path root_;
  FrontEnd& frontEnd_;
  ProcessRunner& processes_;
  std::filesystem::path pmset_;
};

// The shell command of `do shell script "…" with administrator privileges`, its string literal
// unescaped; none when the source is not exactly that form or the literal is malformed.
std::optional<std::string> parseAdministratorScript(std::string_view source);

// `command` with every /etc/sudoers.d/ and /private/tmp/ path moved under `root`, the root quoted
// for the place in the command where each path stands, so any absolute root works and nothing in
// its name is run, and /usr/bin/pmset replaced by `pmset` where one is given; none when the root is
// not absolute.
std::optional<std::string> mapCommandPaths(std::string_view command, const std::filesystem::path& root,
                                           const std::filesystem::path& pmset = {});

}  // namespace corvel::sim
