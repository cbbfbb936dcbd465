#!/usr/bin/env bash
# Whole-process cost of an idle Corvel with protection on, per mode: CPU time per idle minute (its
# own, and with the tools its refreshes run) and peak resident memory; then again with every safety
# guard set, on a Mac that runs on its battery, so that each refresh reads all it can.
# Usage: bench/idle_cost.sh [seconds per run, default 60]   (run after a build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bin=build/bin
tick=$(getconf CLK_TCK)
user=$(id -un)

measure() {  # mode [guards]
  local mode=$1 guards=${2:-} root settings=""
  root=$(mktemp -d)
  mkdir -p "$root/Library/Preferences" "$root/mac" "$root/etc/sudoers.d"
  if [ -n "$guards" ]; then
    settings=',"SafetyBatteryFloor":"10","SafetyTimeLimitMinutes":"10080","SafetyThermalStop":"on","SafetyRepair":"on"'
    echo "80 battery" > "$root/mac/battery"
    echo nominal > "$root/mac/thermal"
    echo open > "$root/mac/lid"
  fi
  printf '{"ProtectionMode":"%s","ProtectionEnabled":true%s}\n' "$mode" "$settings" \
    > "$root/Library/Preferences/app.corvel.Corvel.json"
  if [ "$mode" = remoteStrong ]; then
    # A Mac already set up: the rule installed, sleep disabled, the screen lock off.
    printf '%s ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1\n' "$user" \
      > "$root/etc/sudoers.d/corvel-$user"
    chmod 440 "$root/etc/sudoers.d/corvel-$user"
    echo 1 > "$root/mac/disablesleep"
    echo off > "$root/mac/screenlock"
  fi
  # The stored state is re-applied at launch; no toggle, no agent.
  CORVEL_SIM_ROOT=$root CORVEL_NO_TOGGLE=1 CORVEL_SKIP_SERVICE=1 "$bin/Corvel" < <(sleep $((seconds + 30))) \
    > "$root/out.log" 2>&1 &
  local pid=$!
  sleep 3  # past start-up and the first refreshes
  grep -q "🟢" "$root/out.log" || { echo "protection did not come on in $mode" >&2; kill $pid; exit 1; }
  # Its own time from schedstat (nanoseconds); the tools it runs only show as reaped children's ticks.
  local c0 c1 cu0 cs0 cu1 cs1
  c0=$(awk '{print $1}' "/proc/$pid/schedstat")
  read -r cu0 cs0 < <(awk '{print $16, $17}' "/proc/$pid/stat")
  sleep "$seconds"
  c1=$(awk '{print $1}' "/proc/$pid/schedstat")
  read -r cu1 cs1 < <(awk '{print $16, $17}' "/proc/$pid/stat")
  local hwm
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  kill -9 $pid; wait $pid 2>/dev/null || true
  pkill -f "$root" 2>/dev/null || true
  for f in "$root"/mac/assertions/*; do [ -e "$f" ] && kill "$(basename "$f")" 2>/dev/null; done
  local own=$(( (c1 - c0) / 1000000 ))
  local all=$(( own + (cu1 - cu0 + cs1 - cs0) * 1000 / tick ))
  printf '%-20s own CPU %5d ms/min   with tools %5d ms/min   peak RSS %6d kB\n' "$mode${guards:+ + guards}" \
    $(( own * 60 / seconds )) $(( all * 60 / seconds )) "$hwm"
  rm -rf "$root"
}

echo "Corvel idle with protection on, ${seconds}s per mode"
measure standard
measure remoteStrong
measure standard guards
measure remoteStrong guards
