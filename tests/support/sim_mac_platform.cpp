// The in-process simulated Mac for integration tests.
#include "sim_mac_platform.h"

#include <fcntl.h>
#include <unistd.h>

namespace corvel::test {
namespace {

ToolPaths simToolPaths() {
  return {simTool("caffeinate"), simTool("sudo"), simTool("pmset"), simTool("sysadminctl")};
}

}  // namespace

SimMacPlatform::Pipes::Pipes() {
  if (::pipe2(answers, O_CLOEXEC) != 0 || ::pipe2(screen, O_CLOEXEC) != 0) return;
  ::fcntl(screen[0], F_SETFL, O_NONBLOCK);
  // The screen is drained as the test asks; a big pipe keeps the front end from ever blocking.
  ::fcntl(screen[1], F_SETPIPE_SZ, 1 << 20);
}

SimMacPlatform::Pipes::~Pipes() {
  for (int fd : {answers[0], answers[1], screen[0], screen[1]}) {
    if (fd >= 0) ::close(fd);
  }
}

SimMacPlatform::SimMacPlatform(const std::filesystem::path& rootFolder)
    : root(rootFolder),
      defaults(root, "app.corvel.Corvel"),
      files(root, realFiles),
      frontEnd(pipes.answers[0], pipes.screen[1]),
      administratorScript(root, frontEnd, processes),
      session(root),
      alerts(frontEnd),
      biometrics(root, frontEnd),
      directory(root),
      platform{defaults, application, processes, clock,     environment, files,  statusBar, administratorScript,
               session,  alerts,      biometrics, directory, dockTile,    agents, simToolPaths()} {
  frontEnd.attach(application);
  // An answer the test forgot must fail the test, not hang it.
  frontEnd.setModalTimeout(std::chrono::seconds(5));
}

SimMacPlatform::~SimMacPlatform() = default;

void SimMacPlatform::answer(const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t n = ::write(pipes.answers[1], text.data(), text.size());
}

std::string SimMacPlatform::shown() {
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipes.screen[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<std::size_t>(n));
  return output;
}

}  // namespace corvel::test
