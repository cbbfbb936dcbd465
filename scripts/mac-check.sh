#!/usr/bin/env bash
# Checks Corvel on a real Mac, for the first person with one: builds the release app, checks by
# itself what a script can, asks a yes or no for each check that needs a person, and prints a
# summary to paste into an issue, headed by what only a Mac can settle and what this run found on
# each. It leaves the Mac as it found it: see leave_the_mac_as_it_was.
set -uo pipefail

if [ "$(uname -s)" != Darwin ]; then
  echo "mac-check.sh checks Corvel on a real Mac, so it needs macOS; this is $(uname -s). Nothing was done." >&2
  exit 1
fi
cd "$(dirname "$0")/.." || exit 1

# -- What the check records

results=()
failures=0
warnings=()

# What only a Mac can settle, answered by this run where it can be: the top of the summary.
open_sysadminctl="not reached in this run (the remote strong set-up check)"
open_session_key="not reached in this run"
open_ssh="not reached in this run"
open_background_only="not reached in this run"
open_hardened="not reached in this run"
open_adhoc_agent="not reached in this run"
session_log=""
session_watcher=""

record() {  # record CHECK pass|FAIL|skipped [NOTE]
  results+=("| $1 | $2 | ${3:-} |")
  [ "$2" = FAIL ] && failures=$((failures + 1))
  printf '  %-7s %s%s\n' "$2" "$1" "${3:+ ($3)}"
}

# Polls COMMAND every 0.2 s until it succeeds or SECONDS have passed.
wait_until() {
  local tries=$(($1 * 5))
  shift
  while ! "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.2
  done
}

# -- Preconditions: nothing is touched unless the Mac is in a state the check can restore

for tool in cmake ninja; do
  command -v "$tool" >/dev/null || { echo "Please install $tool first (brew install $tool)." >&2; exit 1; }
done
xcode-select -p >/dev/null 2>&1 || { echo "Please install the Xcode Command Line Tools: xcode-select --install" >&2; exit 1; }
if pgrep -x Corvel >/dev/null; then
  echo "A Corvel is running. Quit it with OFFにして終了 from its menu first, then run this again." >&2
  exit 1
fi

echo "== Building the release app (cmake --preset release)"
build_log=$(mktemp -t corvel-build)
# CORVEL_CODESIGN_IDENTITY signs with a real identity, which adds the hardened runtime.
signing=()
[ -z "${CORVEL_CODESIGN_IDENTITY:-}" ] || signing=(-DCORVEL_CODESIGN_IDENTITY="$CORVEL_CODESIGN_IDENTITY")
if ! { cmake --preset release ${signing[@]+"${signing[@]}"} && cmake --build build-release; } >"$build_log" 2>&1; then
  tail -n 30 "$build_log" >&2
  echo "The build failed; the full log is $build_log." >&2
  exit 1
fi
# The physical path: the one the system reports for the running program.
app="$(cd build-release/bin && pwd -P)/Corvel.app"
executable="$app/Contents/MacOS/Corvel"
bundle_id=$(sed -n 's/^CORVEL_BUNDLE_IDENTIFIER:STRING=//p' build-release/CMakeCache.txt)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)
label="$bundle_id.watchdog"
agent="gui/$(id -u)/$label"
account=$(id -un)
# Named as Corvel names it: sudo skips drop-ins whose names hold a dot.
sudoers_rule="/etc/sudoers.d/corvel-${account//./+}"

if launchctl print "$agent" >/dev/null 2>&1; then
  echo "$label is already registered, by another copy of Corvel. Open that copy and quit it with" >&2
  echo "OFFにして終了 (which removes it), then run this again." >&2
  exit 1
fi
if [ -e "$sudoers_rule" ]; then
  echo "$sudoers_rule exists: an earlier Corvel set up its remote strong mode. Undo that with its" >&2
  echo "設定を元に戻して終了… first, so that what this check changes can be told apart." >&2
  exit 1
fi
# The watchdog opens whichever copy the system records for the bundle identifier.
while IFS= read -r copy; do
  [ -n "$copy" ] && [ "$(cd "$copy" 2>/dev/null && pwd -P)" != "$app" ] &&
    warnings+=("Another copy is installed at $copy; the watchdog may open that one instead of this build.")
done < <(mdfind "kMDItemCFBundleIdentifier == '$bundle_id'" 2>/dev/null)

# What exists before Corvel starts is not Corvel's: the user's own caffeinate, for one.
# shellcheck disable=SC2207  # pids are words without blanks
baseline_caffeinates=($(pgrep -x -u "$(id -u)" caffeinate))
# Under pipefail a producer piped into grep -q fails when grep, done early, closes the pipe
# (SIGPIPE): every such reading takes the whole output first and matches it afterwards.
sleep_disabled() {
  local settings
  settings=$(pmset -g 2>/dev/null) || return 1
  grep -Eq '^ *SleepDisabled[[:space:]]+1' <<<"$settings"
}
sleep_was_disabled=false
sleep_disabled && sleep_was_disabled=true

# -- Corvel's processes

our_corvel() {  # the pid of the Corvel built here, if it runs
  local pid
  for pid in $(pgrep -x Corvel); do
    [ "$(ps -o comm= -p "$pid")" = "$executable" ] && { echo "$pid"; return 0; }
  done
  return 1
}

# The caffeinate children Corvel starts (`caffeinate -d -i -m -s`) that were not there before.
corvel_caffeinates() {
  local pid known
  for pid in $(pgrep -x -u "$(id -u)" caffeinate); do
    for known in "${baseline_caffeinates[@]+"${baseline_caffeinates[@]}"}"; do
      [ "$pid" = "$known" ] && continue 2
    done
    [ "$(ps -o args= -p "$pid")" = "/usr/bin/caffeinate -d -i -m -s" ] && echo "$pid"
  done
}

count_caffeinates() { corvel_caffeinates | grep -c .; }
one_caffeinate() { [ "$(count_caffeinates)" -eq 1 ]; }
agent_running() {
  local details
  details=$(launchctl print "$agent" 2>/dev/null) || return 1
  [[ "$details" == *"state = running"* ]]
}
corvel_running() { our_corvel >/dev/null; }
corvel_stopped() { ! corvel_running; }

# Asks Corvel to quit as the Dock or a logout would, giving up after SECONDS. Protection on means
# it refuses, with an alert, and then the reply does not come until someone closes the alert.
request_quit() {
  osascript -e "with timeout of $1 seconds" -e "tell application id \"$bundle_id\" to quit" -e "end timeout" \
    >/dev/null 2>&1
}

# -- Leaving the Mac as it was
#
# Corvel refuses to quit while protection is on, and only its own orderly quit stops its caffeinate
# and unregisters CorvelWatchdog (which removes the Login Items entry). So:
#  1. ask it to quit: with protection off it goes, cleanly, and nothing else is needed;
#  2. otherwise stop the watchdog's job first, which would start Corvel again, then Corvel, then the
#     caffeinate it recorded; only once Corvel is gone store protection as off, since a running
#     Corvel keeps writing its own state and could put it back;
#  3. start Corvel once more with CORVEL_NO_TOGGLE=1: it comes up off (a launch would otherwise
#     switch it on), so now its orderly quit is allowed and unregisters the watchdog;
#  4. end any caffeinate of Corvel's still running, and put Corvel's defaults back as they were.
# The remote strong mode's changes (system sleep, screen lock, sudoers rule) need the login password
# to undo; the person's restore check undoes them. Should any remain, Corvel's defaults are kept
# instead, since they hold what the screen lock was, and the summary says how to finish.
started=false
defaults_saved=false
cleaned=false

remote_changes_remain() {
  [ -e "$sudoers_rule" ] || { sleep_disabled && ! "$sleep_was_disabled"; } ||
    [ "$(defaults read "$bundle_id" DidDisableScreenLock 2>/dev/null)" = 1 ]
}

leave_the_mac_as_it_was() {
  if "$cleaned"; then return 0; fi
  cleaned=true
  [ -z "$session_watcher" ] || kill "$session_watcher" 2>/dev/null
  [ -z "$session_log" ] || rm -f "$session_log"
  echo "== Leaving the Mac as it was"
  if "$started"; then stop_corvel; fi
  if "$defaults_saved" && "$started" && remote_changes_remain; then
    warnings+=("The remote strong mode is still set up. To undo it, open $app, cancel the Touch ID prompt, \
and choose 設定を元に戻して終了… from the menu. Corvel's settings are kept for that; the ones from before \
the check are in $defaults_backup.")
  elif "$defaults_saved"; then
    defaults delete "$bundle_id" >/dev/null 2>&1
    "$had_defaults" && defaults import "$bundle_id" "$defaults_backup"
    rm -f "$defaults_backup"
  fi
  [ "$(count_caffeinates)" -eq 0 ] || warnings+=("A caffeinate of Corvel's is still running.")
}

stop_corvel() {
  if corvel_running; then
    request_quit 5
    # An orderly quit unregisters the watchdog on its way out.
    wait_until 5 corvel_stopped && sleep 1
  fi
  if corvel_running || launchctl print "$agent" >/dev/null 2>&1; then
    launchctl bootout "$agent" >/dev/null 2>&1
    local pid recorded
    recorded=$(defaults read "$bundle_id" CaffeinateProcessIdentifier 2>/dev/null)
    while pid=$(our_corvel); do
      kill -TERM "$pid" 2>/dev/null
      wait_until 5 corvel_stopped || kill -KILL "$pid" 2>/dev/null
    done
    if [ -n "$recorded" ] && [ "$(ps -o comm= -p "$recorded" 2>/dev/null)" = /usr/bin/caffeinate ]; then
      kill -TERM "$recorded"
    fi
    defaults write "$bundle_id" ProtectionEnabled -bool false
    defaults delete "$bundle_id" CaffeinateProcessIdentifier >/dev/null 2>&1
    CORVEL_NO_TOGGLE=1 "$executable" >/dev/null 2>&1 &
    # The quit is asked only of a Corvel that runs: asked of none, macOS would open one, which
    # would switch protection on.
    wait_until 10 corvel_running && sleep 1 && request_quit 10
    if ! wait_until 10 corvel_stopped; then
      launchctl bootout "$agent" >/dev/null 2>&1
      kill -KILL "$(our_corvel)" 2>/dev/null
      warnings+=("Corvel did not quit by itself: its entry may remain in System Settings › General › Login Items.")
    fi
  fi
  local pid
  for pid in $(corvel_caffeinates); do kill -TERM "$pid"; done
}
trap leave_the_mac_as_it_was EXIT
trap 'exit 130' INT TERM HUP

defaults_backup=$(mktemp -t corvel-defaults)
had_defaults=false
if defaults read "$bundle_id" >/dev/null 2>&1; then
  had_defaults=true
  defaults export "$bundle_id" "$defaults_backup"
fi
defaults_saved=true
# A fresh start, in the standard mode, whatever an earlier Corvel left; put back at the end.
defaults delete "$bundle_id" >/dev/null 2>&1

# -- What a script can check

echo "== Checks a script can make"
diagnose=$("$executable" --diagnose 2>&1)
if [ "$(printf '%s\n' "$diagnose" | wc -l | tr -d ' ')" = 1 ] && [[ "$diagnose" == *"\"bundleIdentifier\":\"$bundle_id\""* ]]; then
  record "\`Corvel --diagnose\` from the bundle" pass
else
  record "\`Corvel --diagnose\` from the bundle" FAIL "printed: ${diagnose//$'\n'/ }"
fi

started=true
open "$app"
if wait_until 10 corvel_running; then record "opens with \`open\`" pass; else record "opens with \`open\`" FAIL; fi
corvel=$(our_corvel)

signature=$(codesign --display --verbose=2 "$app" 2>&1)
signature_kind="ad hoc"
[[ "$signature" == *"Signature=adhoc"* ]] || signature_kind="a real identity"
hardened=false
[[ "$signature" == *"(runtime)"* ]] && hardened=true

if wait_until 10 agent_running && pgrep -x CorvelWatchdog >/dev/null; then
  record "agent registered, CorvelWatchdog running" pass "launchctl print $agent"
  open_adhoc_agent="registered and running, signed with $signature_kind"
else
  record "agent registered, CorvelWatchdog running" FAIL "$(launchctl print "$agent" 2>&1 | head -n 1)"
  open_adhoc_agent="NOT registered or not running, signed with $signature_kind"
fi
[ "$signature_kind" = "ad hoc" ] &&
  open_adhoc_agent+="; a second run after changing any source (a rebuild with a new hash) settles the rebuild case"

caffeinate=""
if wait_until 5 one_caffeinate; then
  caffeinate=$(corvel_caffeinates)
  parent=$(ps -o ppid= -p "$caffeinate" | tr -d ' ')
  if [ "$parent" = "${corvel:-none}" ]; then
    record "one \`caffeinate -d -i -m -s\`, child of Corvel" pass "pid $caffeinate"
  else
    record "one \`caffeinate -d -i -m -s\`, child of Corvel" FAIL "its parent is $parent, Corvel is ${corvel:-not running}"
  fi
  assertions=$(pmset -g assertions 2>/dev/null)
  if [[ "$assertions" == *"pid $caffeinate(caffeinate)"* ]]; then
    record "\`pmset -g assertions\` shows its assertions" pass
  else
    record "\`pmset -g assertions\` shows its assertions" FAIL
  fi
else
  record "one \`caffeinate -d -i -m -s\`, child of Corvel" FAIL "$(count_caffeinates) found"
fi

relaunched_by_watchdog() {
  local pid
  pid=$(our_corvel) && [ "$pid" != "$corvel" ] && [[ "$(ps -o args= -p "$pid")" == *--watchdog-launch* ]]
}
if [ -n "${corvel:-}" ]; then
  kill -KILL "$corvel"
  tries=0
  while ! relaunched_by_watchdog && [ "$tries" -lt 30 ]; do
    sleep 0.2
    tries=$((tries + 1))
  done
  if relaunched_by_watchdog; then
    record "after \`kill -9\`, relaunched with --watchdog-launch within 6 s" pass "after about $((tries / 5)).$((tries * 2 % 10)) s"
    corvel=$(our_corvel)
  else
    record "after \`kill -9\`, relaunched with --watchdog-launch within 6 s" FAIL
    corvel=$(our_corvel)
  fi
  # The relaunched Corvel takes charge of the caffeinate its predecessor left, rather than adding one.
  sleep 2
  if one_caffeinate; then
    record "still exactly one caffeinate after the relaunch" pass \
      "$([ "$(corvel_caffeinates)" = "$caffeinate" ] && echo "the same one" || echo "a new one")"
  else
    record "still exactly one caffeinate after the relaunch" FAIL "$(count_caffeinates) found"
  fi
fi

if corvel_running; then
  echo "  (macOS may ask whether this terminal may control Corvel: allow it.)"
  request_quit 10 &
  quit_request=$!
  sleep 3
  if [ "$(our_corvel)" = "$corvel" ]; then
    record "a quit request while on leaves Corvel running" pass
  else
    record "a quit request while on leaves Corvel running" FAIL
  fi
  wait "$quit_request"
fi

# -- What needs a person

# Reads sessionLocked from Corvel --status --json every second while the person locks the screen,
# so the key Corvel reads the lock from is seen to change.
watch_session() {
  for _ in $(seq 40); do
    "$executable" --status --json 2>/dev/null | sed -n 's/.*"sessionLocked":\([a-z]*\).*/\1/p' >>"$session_log"
    sleep 1
  done
}
seen_session_lock() {
  local readings
  readings=$(sort -u "$session_log" | tr '\n' ' ')
  if [[ "$readings" == *true* && "$readings" == *false* ]]; then
    echo "seen both locked and unlocked (CGSSessionScreenIsLocked is read)"
  else
    echo "readings seen: ${readings:-none} (expected both true and false)"
  fi
}

answered=""
ask() {  # ask CHECK INSTRUCTIONS…; leaves pass, FAIL or skipped in $answered
  local check=$1 answer
  shift
  echo
  printf '%s\n' "$@"
  while true; do
    read -r -p "  Did it work? [y]es / [n]o / [s]kip: " answer || answer=s
    case "$answer" in
      y | yes) answered=pass; record "$check" pass; return ;;
      n | no) answered=FAIL; read -r -p "  What happened instead? " answer || answer=""; record "$check" FAIL "$answer"; return ;;
      s | skip) answered=skipped; record "$check" skipped; return ;;
    esac
  done
}

if [ -t 0 ] && corvel_running; then
  echo
  echo "== Checks that need a person"
  ask "the quit refusal is shown" \
    "Corvel should be showing an alert, スリープ防止がONです. Close it with OK."
  ask "CorvelWatchdog runs in the background only" \
    "Press ⌥⌘⎋ (Force Quit Applications): Corvel is listed, CorvelWatchdog is not, and the Dock shows no" \
    "CorvelWatchdog icon. Close the Force Quit window."
  open_background_only="$answered (CorvelWatchdog absent from Force Quit and the Dock)"
  session_log=$(mktemp -t corvel-session)
  watch_session &
  session_watcher=$!
  ask "the locked screen is seen" \
    "Lock the screen with ⌃⌘Q, wait about ten seconds, and unlock it. This script reads Corvel --status" \
    "meanwhile; answer yes once you are back."
  kill "$session_watcher" 2>/dev/null
  wait "$session_watcher" 2>/dev/null
  open_session_key="$(seen_session_lock)"
  rm -f "$session_log"
  ask "Corvel --status over SSH sees Corvel running" \
    "From another machine, or here with ssh localhost (Remote Login on), run:" \
    "  ssh $account@$(hostname -s).local '$executable' --status" \
    "Its Corvel line reads Corvel：起動中 (not 起動していません or 分かりません)."
  open_ssh="$answered (Corvel --status from an SSH session)"
  ask "Login Items entry" \
    "Open System Settings › General › Login Items: under Allow in the Background, Corvel is listed and on."
  ask "dialog opened with another application in front" \
    "Click into this terminal window so that it is in front. Then right-click Corvel's menu-bar item and" \
    "choose 動作モード › リモート強制モード. Corvel's confirmation comes to the front and Return answers it;" \
    "its password dialog then takes your typing without a click. Leave the password dialog open."
  # A secure text field refuses cut and copy by design (Apple's Cocoa Text Architecture Guide), so
  # only paste and select-all are Corvel's to get right: they need its Edit menu.
  ask "pasting into the password field" \
    "In the password field: paste some copied text with ⌘V (it shows as dots), then select it all" \
    "with ⌘A (the dots are highlighted) and press Delete; the field is empty again."
  ask "remote strong set-up" \
    "Now type your login password, confirm, and approve macOS's administrator prompt." \
    "The set-up finishes without an error, and the menu shows リモート強制モード checked."
  open_sysadminctl="$answered on macOS $(sw_vers -productVersion) (the set-up turns the screen lock off with it)"
  if "$hardened"; then
    open_hardened="$answered (the set-up's administrator prompt, built with the hardened runtime)"
  else
    open_hardened="not covered: this build has no hardened runtime; run with CORVEL_CODESIGN_IDENTITY set"
  fi
  ask "clicks while Touch ID is asked are ignored" \
    "Click Corvel's menu-bar item: the Touch ID prompt appears. While it is up, click the menu-bar item" \
    "and the Dock icon a few times. Then confirm with Touch ID: protection switches exactly once, and no" \
    "second Touch ID prompt follows."
  ask "remote strong restore" \
    "Right-click the menu-bar item, choose 設定を元に戻して終了…, confirm and give your password." \
    "Corvel quits, and System Settings › Lock Screen shows the screen lock as it was before."
  if [ "$answered" = pass ]; then
    if wait_until 5 corvel_stopped && ! remote_changes_remain; then
      record "after the restore: no sudoers rule, system sleep allowed, Corvel quit" pass
    else
      record "after the restore: no sudoers rule, system sleep allowed, Corvel quit" FAIL
    fi
  fi
elif ! [ -t 0 ]; then
  record "checks that need a person" skipped "no terminal to ask in"
else
  record "checks that need a person" skipped "Corvel is not running"
fi

leave_the_mac_as_it_was

# -- The summary, to paste into an issue

echo
echo "== Summary (paste this into an issue)"
echo
echo "**mac-check.sh** — Corvel $version ($bundle_id), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)," \
  "macOS $(sw_vers -productVersion) ($(uname -m)), $(date '+%Y-%m-%d')"
echo
echo "Only a Mac can settle these; what this run found:"
echo
echo "| open question | this run |"
echo "|---|---|"
echo "| \`sysadminctl -screenLock off -password -\` reads the password from standard input (macOS 13, 14, 15) | $open_sysadminctl |"
echo "| the session's locked flag is the key \`CGSSessionScreenIsLocked\` | $open_session_key |"
echo "| \`runningApplicationsWithBundleIdentifier:\` finds Corvel from an SSH session | $open_ssh |"
echo "| \`LSBackgroundOnly\` is read from the Info.plist embedded in CorvelWatchdog | $open_background_only |"
echo "| \`do shell script … with administrator privileges\` works under the hardened runtime | $open_hardened |"
echo "| SMAppService registers the watchdog of an ad-hoc-signed build, also after a rebuild | $open_adhoc_agent |"
echo
echo "| check | result | note |"
echo "|---|---|---|"
printf '%s\n' "${results[@]+"${results[@]}"}"
for warning in "${warnings[@]+"${warnings[@]}"}"; do
  echo
  echo "⚠️ $warning"
done
[ "$failures" -eq 0 ]
