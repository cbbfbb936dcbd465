#!/usr/bin/env bash
# Whole-process time of `Corvel --status --json` on the simulated Mac, with Corvel running and
# protection on in remote strong mode, so every reading has something to find: the defaults, the
# caffeinate adopted by pid, and the three tools it runs (pmset -g, sysadminctl, sudo -n -l).
# Usage: bench/status.sh [runs, default 20]   (run after a build; CORVEL_BIN names another bin folder)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
bin=${CORVEL_BIN:-$(pwd)/build/bin}
user=$(id -un)
root=$(mktemp -d)
export CORVEL_SIM_ROOT=$root
cleanup() {
  [ -n "${corvel:-}" ] && kill "$corvel" 2>/dev/null
  for f in "$root"/mac/assertions/*; do [ -e "$f" ] && kill "$(basename "$f")" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

# A Mac already set up for remote strong mode, as in bench/idle_cost.sh.
mkdir -p "$root/Library/Preferences" "$root/mac" "$root/etc/sudoers.d"
printf '{"ProtectionMode":"remoteStrong","ProtectionEnabled":true}\n' > "$root/Library/Preferences/app.corvel.Corvel.json"
printf '%s ALL = (root) NOPASSWD: /usr/bin/pmset -a disablesleep 0, /usr/bin/pmset -a disablesleep 1\n' "$user" \
  > "$root/etc/sudoers.d/corvel-$user"
chmod 440 "$root/etc/sudoers.d/corvel-$user"
echo 1 > "$root/mac/disablesleep"
echo off > "$root/mac/screenlock"
CORVEL_NO_TOGGLE=1 CORVEL_SKIP_SERVICE=1 "$bin/Corvel" </dev/null > "$root/out.log" 2>&1 &
corvel=$!
for _ in $(seq 100); do grep -q "🟢" "$root/out.log" 2>/dev/null && break; sleep 0.1; done
grep -q "🟢" "$root/out.log" || { echo "protection did not come on" >&2; exit 1; }
sleep 1  # past the first refreshes and the Dock icon

verdict=$("$bin/Corvel" --status --json | sed -n 's/.*"verdict":"\([a-z]*\)".*/\1/p')
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$bin/Corvel" --status --json > /dev/null || true  # the exit status is the verdict, not a failure
  times+=($(( ($(date +%s%N) - start) / 1000 )))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{a[NR]=$1} END {print (NR % 2 ? a[(NR+1)/2] : int((a[NR/2] + a[NR/2+1]) / 2))}')
echo "Corvel --status --json ($verdict), $runs runs: median $((median / 1000)).$(printf '%03d' $((median % 1000))) ms," \
  "fastest $(( $(echo "$sorted" | head -1) / 1000 )) ms, slowest $(( $(echo "$sorted" | tail -1) / 1000 )) ms"
