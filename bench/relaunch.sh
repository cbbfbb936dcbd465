#!/usr/bin/env bash
# Crash recovery, whole-process: how long after a kill -9 the watchdog's relaunched Corvel serves
# the simulated Mac (over N kills: median and worst), and the watchdog's peak memory and CPU time
# per hour while it idles.
# Usage: bench/relaunch.sh [kills, default 20] [idle seconds for the CPU figure, default 120]
# (run after a build; CORVEL_BIN names another bin folder)
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-20}
idle=${2:-120}
bin=${CORVEL_BIN:-$(pwd)/build/bin}
root=$(mktemp -d)
export CORVEL_SIM_ROOT=$root
unset CORVEL_SKIP_SERVICE CORVEL_NO_TOGGLE

now_ms() { date +%s%3N; }
serving() {  # the pid claiming the root, when it is live and not the one given
  local pid
  pid=$(cat "$root/corvel.pid" 2>/dev/null || true)
  [ -n "$pid" ] && [ "$pid" != "$1" ] && [ -d "/proc/$pid" ] && grep -q -- --watchdog-launch "/proc/$pid/cmdline" 2>/dev/null \
    && echo "$pid"
}
cleanup() {
  local agent
  agent=$(sed -n 's/^pid=//p' "$root/launchd/app.corvel.Corvel.watchdog.plist" 2>/dev/null || true)
  [ -n "$agent" ] && kill -9 "$agent" 2>/dev/null
  pid=$(cat "$root/corvel.pid" 2>/dev/null || true); [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  for f in "$root"/mac/assertions/*; do [ -e "$f" ] && kill "$(basename "$f")" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

"$bin/Corvel" </dev/null > "$root/first.log" 2>&1 &
first=$!
disown "$first"  # its death by kill -9 is the point, not news
for _ in $(seq 100); do grep -q "🟢" "$root/first.log" 2>/dev/null && break; sleep 0.1; done
agent=$(sed -n 's/^pid=//p' "$root/launchd/app.corvel.Corvel.watchdog.plist")
current=$first
times=()
for _ in $(seq "$kills"); do
  start=$(now_ms)
  kill -9 "$current"
  while ! next=$(serving "$current"); do sleep 0.02; done
  times+=($(( $(now_ms) - start )))
  current=$next
  # A random moment in the watchdog's cycle, so the figures cover every phase, the worst included.
  sleep "$(awk -v r="$RANDOM" 'BEGIN {printf "%.2f", 0.5 + (r % 5000) / 1000}')"
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{a[NR]=$1} END {print (NR % 2 ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2)}')
worst=$(echo "$sorted" | tail -1)
echo "relaunch after kill -9, $kills kills: median ${median} ms, worst ${worst} ms"
echo "  all: $(printf '%s ' "${times[@]}")"

# schedstat's first field is the time on a CPU in nanoseconds: fine enough for a process that
# mostly sleeps, where clock ticks would round it to nothing.
c0=$(awk '{print $1}' "/proc/$agent/schedstat")
sleep "$idle"
c1=$(awk '{print $1}' "/proc/$agent/schedstat")
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$agent/status")
cpu_us=$(( (c1 - c0) / 1000 ))
echo "watchdog: peak RSS ${hwm} kB; CPU ${cpu_us} us in ${idle} s idle = $(( cpu_us * 3600 / idle / 1000 )) ms per hour"
