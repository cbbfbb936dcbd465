#!/usr/bin/env bash
# How many small faults in the core do the unit and integration tests notice? Puts the mutants of
# scripts/mutants.txt in place one at a time, rebuilds the two test programs in build-mutation/,
# runs them, and puts the source back byte for byte. Run by hand; it takes about half an hour.
#
#   scripts/mutation-score.sh [--list FILE] [--only ID,...] [--jobs N] [--timeout S] [--map OLD=NEW]...
#
# --map rewrites the list's paths (a whole path, or a folder prefix ending in "/") for a tree laid out
# differently from the one the list was made in, e.g. --map support/unicode.cpp=main/remote/unicode.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
here=$root/scripts

list=$here/mutants.txt
only=""
jobs=2
time_limit=""
maps=()
usage() { sed -n '2,10s/^# \{0,1\}//p' "$0"; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
  case $1 in
    --list) list=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --timeout) time_limit=$2; shift 2 ;;
    --map) maps+=("$2"); shift 2 ;;
    -h|--help) usage ;;
    *) echo "unknown option: $1" >&2; usage 2 >&2 ;;
  esac
done
[[ $jobs =~ ^[1-9][0-9]*$ && $time_limit =~ ^([1-9][0-9]*)?$ ]] || { echo "--jobs and --timeout take whole numbers" >&2; exit 2; }

mapped() {
  local path=$1 m from to
  for m in ${maps[@]+"${maps[@]}"}; do
    from=${m%%=*} to=${m#*=}
    if [ "$path" = "$from" ]; then echo "$to"; return; fi
    if [[ $from == */ && $path == "$from"* ]]; then echo "$to${path#"$from"}"; return; fi
  done
  echo "$path"
}

# The list, filtered by --only.
ids=() kinds=() files=() occurrences=() originals=() mutants=()
declare -A wanted=()
if [ -n "$only" ]; then IFS=, read -ra picked <<<"$only"; for id in "${picked[@]}"; do wanted[$id]=1; done; fi
while IFS=$'\t' read -r id kind file occurrence original mutant; do
  [[ -z $id || $id == \#* ]] && continue
  if [ -z "$mutant" ] || ! [[ $occurrence =~ ^[1-9][0-9]*$ ]]; then
    echo "$list: malformed line for $id" >&2; exit 2
  fi
  if [ -n "$only" ]; then [ -n "${wanted[$id]:-}" ] || continue; unset "wanted[$id]"; fi
  ids+=("$id") kinds+=("$kind") files+=("$(mapped "$file")") occurrences+=("$occurrence")
  originals+=("$original") mutants+=("$mutant")
done <"$list"
if [ ${#wanted[@]} -gt 0 ]; then echo "not in $list: ${!wanted[*]}" >&2; exit 2; fi
[ ${#ids[@]} -gt 0 ] || { echo "no mutants to run" >&2; exit 2; }

# A mutant left behind by a crash (or an edit in progress) must never be built on or overwritten.
mapfile -t core < <(printf '%s\n' main watchdog "${files[@]}" | sort -u)
changed=$(git status --porcelain -- "${core[@]}")
if [ -n "$changed" ]; then
  echo "The core has uncommitted changes; commit, stash or check them (git diff) first:" >&2
  echo "$changed" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvel-mutation.XXXXXX")
# Some tests, run as root, drop to an unprivileged account inside their simulated Mac: it must be
# able to reach it through this folder.
chmod go+x "$work"
backup=$work/original
active=""      # the source file that holds a mutant right now
child=""       # the build or test run in progress
# Writes only when the file differs, so a mutant that was never applied costs no rebuild. A restored
# file gets a new time stamp, which is what makes the next build recompile it.
restore() {
  [ -n "$active" ] || return 0
  if cmp -s "$backup" "$active" || { cat "$backup" >"$active" && cmp -s "$backup" "$active"; }; then
    active=""
  else
    echo "COULD NOT RESTORE $active: its original is in $backup" >&2
    return 1
  fi
}
end_leftovers() {
  # Sim Macs whose test was killed: their processes are known by the sim root in their environment.
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}; pid=${pid%/environ}
    if grep -qz "^CORVEL_SIM_ROOT=$work/tmp/" "$environ" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  done
  chmod -R u+rwx "$work/tmp" 2>/dev/null || true
  rm -rf "${work:?}/tmp" && mkdir "$work/tmp"
}
finish() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$child" ]; then kill -TERM "$child" 2>/dev/null || true; wait "$child" 2>/dev/null || true; fi
  if restore; then end_leftovers; rm -rf "$work"; else status=70; fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir "$work/tmp"

build_dir=$root/build-mutation
logs=$build_dir/mutation-logs
mkdir -p "$logs"
# Two runs in one tree would restore each other's mutants as originals.
exec 9>"$build_dir/mutation.lock"
flock -n 9 || { echo "another mutation run is using this tree" >&2; exit 1; }
if [ ! -f "$build_dir/build.ninja" ]; then
  echo "Configuring $build_dir (once)"
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEL_BUILD_BENCHMARKS=OFF >/dev/null
fi
test_programs=(corvel_unit_tests)
# Off the simulated Mac (on a Mac) there are no integration tests.
if ninja -C "$build_dir" -t query corvel_integration_tests >/dev/null 2>&1; then
  test_programs+=(corvel_integration_tests)
fi

# Runs in the background and waits, so that a signal reaches the trap at once. Never in a subshell:
# the trap must know the child to stop it.
run() { "$@" & child=$!; local status=0; wait "$child" || status=$?; child=""; return "$status"; }

build() { run ninja -C "$build_dir" -j "$jobs" "${test_programs[@]}" >"$1" 2>&1; }
# Sets `verdict`: "passed", "time limit", or the test program that noticed the mutant.
run_tests() {
  local program status
  verdict=passed
  for program in "${test_programs[@]}"; do
    status=0
    # timeout puts the tests in a process group of their own and ends the whole group.
    TMPDIR=$work/tmp run timeout -k 5 "$time_limit" "$build_dir/bin/$program" --gtest_brief=1 >>"$1" 2>&1 ||
      status=$?
    [ "$status" -eq 0 ] && continue
    echo "== $program ended with status $status ==" >>"$1"
    end_leftovers
    case $status in
      124|137) verdict="time limit" ;;
      *) verdict=${program#corvel_}; verdict=${verdict%_tests} ;;
    esac
    return
  done
}

started=$(date +%s)
echo "Building and testing the unchanged core first (build-mutation/, logs in build-mutation/mutation-logs/)"
build "$logs/baseline.log" || { echo "the unchanged core does not build: see $logs/baseline.log" >&2; exit 1; }
requested_limit=$time_limit
time_limit=${time_limit:-600}
tests_started=$(date +%s)
run_tests "$logs/baseline.log"
tests_seconds=$(($(date +%s) - tests_started))
if [ "$verdict" != passed ]; then
  echo "the tests fail on the unchanged core ($verdict, limit ${time_limit}s): see $logs/baseline.log" >&2; exit 1
fi
# Unless given, the limit follows this machine's pace: a mutant that makes the tests six times as
# slow as the unchanged core is taken to hang.
time_limit=${requested_limit:-$((tests_seconds * 6 > 30 ? tests_seconds * 6 : 30))}
echo "baseline: $(($(date +%s) - started))s, of which the tests ${tests_seconds}s; time limit ${time_limit}s per test program"
echo

total=0 killed=0 by_compiler=0 by_time=0 missing=0 mutant_seconds=0
survivors=()
for i in "${!ids[@]}"; do
  id=${ids[$i]} file=${files[$i]}
  mutant_started=$(date +%s)
  log=$logs/$id.log
  : >"$log"
  if [ ! -f "$root/$file" ]; then
    missing=$((missing + 1)); printf '%-4s %-44s %-9s not found\n' "$id" "$file" "${kinds[$i]}"; continue
  fi
  cp "$root/$file" "$backup"
  active=$root/$file
  if ! line=$(python3 "$here/mutants.py" apply "$root/$file" "${occurrences[$i]}" "${originals[$i]}" "${mutants[$i]}"); then
    restore
    missing=$((missing + 1)); printf '%-4s %-44s %-9s not found\n' "$id" "$file" "${kinds[$i]}"; continue
  fi
  total=$((total + 1))
  if ! build "$log"; then
    result="killed by the compiler"; by_compiler=$((by_compiler + 1)); killed=$((killed + 1))
  else
    run_tests "$log"
    case $verdict in
      passed) result="SURVIVED"; survivors+=("$file:$line: ${originals[$i]} -> ${mutants[$i]}") ;;
      "time limit") result="killed by the time limit"; by_time=$((by_time + 1)); killed=$((killed + 1)) ;;
      *) result="killed by the $verdict tests"; killed=$((killed + 1)) ;;
    esac
  fi
  restore
  seconds=$(($(date +%s) - mutant_started))
  mutant_seconds=$((mutant_seconds + seconds))
  printf '%-4s %-44s %-9s %-32s %4ss\n' "$id" "$file:$line" "${kinds[$i]}" "$result" "$seconds"
done

echo
echo "killed $killed/$total ($by_compiler by the compiler, $by_time by the time limit); not found: $missing"
echo "time: $(($(date +%s) - started))s in all, $((total > 0 ? mutant_seconds / total : 0))s per mutant"
if [ ${#survivors[@]} -gt 0 ]; then
  echo "survivors:"
  printf '%s\n' "${survivors[@]}"
fi
