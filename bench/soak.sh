#!/usr/bin/env bash
# Soak: many toggles through the desktop pipe of a simulated Mac, then Corvel's open descriptors,
# threads, resident memory and zombie children compared with the start. Anything that grows with
# every switch shows here long before a user would notice it.
# Usage: bench/soak.sh [toggles, default 2000]   (run after a build)
set -euo pipefail
cd "$(dirname "$0")/.."
toggles=${1:-2000}
bin=$(pwd)/build/bin
root=$(mktemp -d)
export CORVEL_SIM_ROOT=$root CORVEL_SKIP_SERVICE=1 CORVEL_NO_TOGGLE=1

cleanup() {
  [ -n "${corvel:-}" ] && kill -9 "$corvel" 2>/dev/null
  for f in "$root"/mac/assertions/*; do [ -e "$f" ] && kill "$(basename "$f")" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

# The end of its input is not a quit: Corvel runs on, driven through the desktop pipe only.
"$bin/Corvel" < /dev/null > "$root/out.log" 2>&1 &
corvel=$!
for _ in $(seq 100); do grep -q "メニューバー: " "$root/out.log" 2>/dev/null && break; sleep 0.1; done

figures() {  # descriptors threads rss_kib zombies
  local fds threads rss zombies=0 child
  fds=$(find "/proc/$corvel/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$corvel/status")
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$corvel/status")
  for child in $(tr ' ' '\n' < <(cat "/proc/$corvel/task/"*/children 2>/dev/null)); do
    if [ "$(awk '{print $3}' "/proc/$child/stat" 2>/dev/null)" = Z ]; then zombies=$((zombies + 1)); fi
  done
  echo "$fds $threads $rss $zombies"
}
ons() { grep -c "メニューバー: 🟢" "$root/out.log" || true; }

read -r fds0 threads0 rss0 zombies0 < <(figures)
start=$(date +%s)
# One writer per click, as separate processes would write them, each click waiting for its title.
for i in $(seq "$toggles"); do
  before=$(grep -c "メニューバー: " "$root/out.log" || true)
  echo click > "$root/desktop"
  for _ in $(seq 500); do
    [ "$(grep -c "メニューバー: " "$root/out.log" || true)" -gt "$before" ] && break
    sleep 0.01
  done
  if [ $((i % 500)) -eq 0 ]; then echo "  $i toggles" >&2; fi
done
elapsed=$(($(date +%s) - start))
sleep 3  # let the last child's ending be collected
read -r fds1 threads1 rss1 zombies1 < <(figures)
printf 'toggles: %d in %d s (%d switched on)\n' "$toggles" "$elapsed" "$(ons)"
printf '%-22s %8s %8s\n' "" start end
printf '%-22s %8s %8s\n' "open descriptors" "$fds0" "$fds1"
printf '%-22s %8s %8s\n' "threads" "$threads0" "$threads1"
printf '%-22s %8s %8s\n' "resident memory (KiB)" "$rss0" "$rss1"
printf '%-22s %8s %8s\n' "zombie children" "$zombies0" "$zombies1"
printf '%-22s %8s\n' "live assertions" "$(find "$root/mac/assertions" -type f | wc -l)"
