#!/usr/bin/env bash
# Checks the source, then builds everything and runs every test in the ordinary build: the quick
# answer after a change. With --all it then builds and runs them again under ASan and UBSan, and
# under TSan, as CI does. Prints how long each preset took.
#
#   scripts/test.sh [--all]
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(default)
case "${1:-}" in
  "") ;;
  --all) presets=(default asan tsan) ;;
  *)
    echo "usage: scripts/test.sh [--all]   (--all adds the ASan+UBSan and TSan builds)" >&2
    exit 64
    ;;
esac

source scripts/deps.sh
corvel_install_missing
scripts/check-source.sh

# Most tests wait on child processes rather than compute, so in the ordinary build they overlap well
# beyond the cores. Under the sanitizers every process is several times slower and bigger: one at a
# time there, so that no bounded wait in a test is stretched by its neighbours.
quick_test_jobs=$(($(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2) + 2))

# Older ThreadSanitizers (GCC 12's, Clang 14's) expect the address-space layout of a kernel with
# fewer random bits in mmap addresses than recent kernels use, and die at start with "unexpected
# memory mapping". Without address randomisation for its processes they run; a probe built with the
# preset's own compiler tells whether that is needed. Sets tsan_runner to the command to run under.
tsan_runner=()
restore_mmap_rnd_bits=""
corvel_prepare_tsan() {
  [ "$(uname -s)" = Linux ] || return 0
  local compiler probe
  compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build-tsan/CMakeCache.txt)
  probe=$(mktemp -d)
  printf 'int main() { return 0; }\n' >"$probe/probe.cpp"
  "$compiler" -fsanitize=thread "$probe/probe.cpp" -o "$probe/probe"
  if "$probe/probe" 2>/dev/null; then
    rm -rf "$probe"
    return 0
  fi
  if setarch "$(uname -m)" -R "$probe/probe" 2>/dev/null; then
    echo "ThreadSanitizer needs address randomisation off on this kernel: building and testing under setarch -R"
    tsan_runner=(setarch "$(uname -m)" -R)
  elif [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/mmap_rnd_bits ] && [ "$(cat /proc/sys/vm/mmap_rnd_bits)" -gt 28 ]; then
    # setarch -R is refused (a container's seccomp profile does that): fewer random bits for the
    # whole machine instead, put back when the tests end.
    restore_mmap_rnd_bits=$(cat /proc/sys/vm/mmap_rnd_bits)
    echo "ThreadSanitizer cannot run with vm.mmap_rnd_bits=$restore_mmap_rnd_bits: lowering it to 28 for the tests"
    trap 'echo "$restore_mmap_rnd_bits" >/proc/sys/vm/mmap_rnd_bits' EXIT
    echo 28 >/proc/sys/vm/mmap_rnd_bits
  fi
  if ! ${tsan_runner[@]+"${tsan_runner[@]}"} "$probe/probe"; then
    rm -rf "$probe"
    echo "ThreadSanitizer cannot run here, neither as it is nor under setarch -R" \
      "(vm.mmap_rnd_bits is $(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo unknown); 28 or less, set as root, may do)" >&2
    return 1
  fi
  rm -rf "$probe"
}

# TSan writes its reports to files (the test preset's log_path), so that a race in a program the
# tests start in the background, where nobody reads its output, still fails the run.
corvel_check_tsan_reports() {
  local reports=(build-tsan/tsan/report.*)
  [ -e "${reports[0]}" ] || return 0
  cat "${reports[@]}" >&2
  echo "ThreadSanitizer reported ${#reports[@]} time(s): ${reports[*]}" >&2
  return 1
}

# Empty arrays are expanded as ${a[@]+"${a[@]}"}: the Mac's bash 3.2 calls "${a[@]}" unbound.
timings=()
for preset in "${presets[@]}"; do
  echo "=== $preset build ==="
  start=$(date +%s)
  # shellcheck disable=SC2046
  cmake --preset "$preset" $(corvel_configure_arguments) >/dev/null
  runner=()
  test_jobs=1
  [ "$preset" != default ] || test_jobs=$quick_test_jobs
  if [ "$preset" = tsan ]; then
    corvel_prepare_tsan
    runner=(${tsan_runner[@]+"${tsan_runner[@]}"})
    rm -rf build-tsan/tsan
    mkdir -p build-tsan/tsan
  fi
  # The build runs the test programs too, to list their tests, so it needs the runner as well.
  ${runner[@]+"${runner[@]}"} cmake --build --preset "$preset"
  ${runner[@]+"${runner[@]}"} ctest --preset "$preset" --parallel "$test_jobs"
  [ "$preset" != tsan ] || corvel_check_tsan_reports
  timings+=("$preset $(($(date +%s) - start))s")
done
echo "=== build and test times: ${timings[*]} ==="
