// How much the process runner adds to starting a short tool, against bare posix_spawn calls.
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "adapters/posix/process_runner_posix.h"

extern char** environ;

namespace {

constexpr const char* kTool = "/bin/true";

void BM_BareSpawnAndWait(benchmark::State& state) {
  char* argv[] = {const_cast<char*>(kTool), nullptr};
  for (auto _ : state) {
    pid_t pid = -1;
    if (::posix_spawn(&pid, kTool, nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("posix_spawn failed");
      break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    benchmark::DoNotOptimize(status);
  }
}
BENCHMARK(BM_BareSpawnAndWait)->UseRealTime();

// The least any runner capturing output must do: one pipe read to its end.
void BM_BareSpawnWithPipe(benchmark::State& state) {
  char* argv[] = {const_cast<char*>(kTool), nullptr};
  char buffer[4096];
  for (auto _ : state) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      state.SkipWithError("pipe2 failed");
      break;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, kTool, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (failed == 0) {
      while (::read(fds[0], buffer, sizeof buffer) > 0) {
      }
      int status = 0;
      ::waitpid(pid, &status, 0);
      benchmark::DoNotOptimize(status);
    }
    ::close(fds[0]);
    if (failed != 0) {
      state.SkipWithError("posix_spawn failed");
      break;
    }
  }
}
BENCHMARK(BM_BareSpawnWithPipe)->UseRealTime();

void BM_RunnerRun(benchmark::State& state) {
  corvel::PosixProcessRunner runner;
  for (auto _ : state) {
    auto result = runner.run(kTool, {}, {std::chrono::seconds(10), corvel::ToolOutputCap});
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_RunnerRun)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
