#!/usr/bin/env bash
# The benchmarks that start Corvel on a simulated Mac of their own leave no process behind when they
# end. Usage: bench_scripts_test.sh ROOT BIN (BIN: the build's bin folder, with the sim tools)
set -uo pipefail
root=$1 bin=$2 status=0
fail() { echo "FAIL: $*" && status=1; }

# Every process a benchmark starts inherits its environment, so a mark in it finds them all, also
# those re-parented when the benchmark ended.
marked() {
  local environ
  for environ in /proc/[0-9]*/environ; do
    grep -qzx "CORVEL_BENCH_MARK=$1" "$environ" 2>/dev/null && echo "${environ//[^0-9]/}"
  done
}

while IFS='|' read -r name arguments; do
  mark="$name-$$-$RANDOM"
  # shellcheck disable=SC2086  # the arguments are words
  CORVEL_BENCH_MARK=$mark CORVEL_BIN=$bin bash "$root/bench/$name" $arguments >/dev/null 2>&1 ||
    fail "bench/$name $arguments failed"
  # A process killed on the way out may take a moment to go.
  for _ in $(seq 50); do
    left=$(marked "$mark")
    [ -z "$left" ] && break
    sleep 0.1
  done
  for pid in $left; do
    fail "bench/$name left pid $pid behind: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    kill "$pid" 2>/dev/null
  done
done <<LIST
status.sh|1
relaunch.sh|1 1
LIST
exit "$status"
