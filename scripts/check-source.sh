#!/usr/bin/env bash
# Checks the source tree before anything is built: the layering, the C++ layout, the shell scripts
# and the build folders the workflows read. One line per finding; exits non-zero if there was any.
# Run by test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

# The clang-format whose output the tree is kept in: Debian bookworm's, as CI has it. Another major
# version may lay out the same code differently.
readonly reference_clang_format=14

failed=0
fail() {
  echo "check-source: $*" >&2
  failed=1
}

# Every file of the source: from git when this is a checkout (tracked files and new ones not yet
# added, less those deleted from the work tree), else the tree less the build folders.
all_files=()
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  while IFS= read -r -d '' f; do [ -f "$f" ] && all_files+=("$f"); done \
    < <(git ls-files -z --cached --others --exclude-standard | sort -zu)
else
  while IFS= read -r -d '' f; do all_files+=("${f#./}"); done \
    < <(find . \( -name .git -o -path './build' -o -path './build-*' -o -path ./.cache \) -prune -o -type f -print0)
fi

cpp_files=()
layered_files=()
for f in "${all_files[@]}"; do
  case "$f" in
    adapters/macos/sdk-stubs/*) ;;
    *.cpp | *.h | *.mm) cpp_files+=("$f") ;;
  esac
  case "$f" in
    main/* | watchdog/*) layered_files+=("$f") ;;
  esac
done

# (a) The core and the watchdog reach the platform only through ports/: an include path with a
# folder named adapters or sim in it, however it gets there ("sim/…", "../sim/…", <adapters/…>),
# would tie them to one platform's implementation.
layering=0
for f in ${layered_files[@]+"${layered_files[@]}"}; do
  while IFS=: read -r line text; do
    fail "$f:$line: includes from adapters/ or sim/; main/ and watchdog/ may use ports/ only: ${text#"${text%%[![:space:]]*}"}"
    layering=1
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*(include|import)[[:space:]]*[<"]([^">]*/)?(adapters|sim)/' "$f" || true)
done

# (e) Inside the core the includes point one way: the application over the view, the view over the
# switching, the switching over the collaborators, and all of them over the vocabulary. Each row names
# a part of main/ (a folder, or a file without its extension) and what it may include besides itself,
# ports/ and support/; "main" is all of it. A file belongs to the longest part that names it.
readonly core_parts='
main/main            main
main/app_delegate    main
main/collaborators   main
main/failure_alerts  main/outcome
main/menubar         main/switching main/engine main/remote main/settings main/modes main/outcome
main/safety          main/switching main/engine main/remote main/settings main/modes main/outcome
main/status          main/safety/guard_settings main/engine main/remote main/settings main/modes
main/switching       main/engine main/remote main/settings main/modes main/outcome
main/engine          main/settings main/modes main/outcome
main/remote          main/engine/sleep_switch main/settings main/modes main/outcome
main/agent           main/command_line main/outcome
main/command_line    main/modes main/safety/guard_settings
main/settings        main/modes
main/modes
main/outcome
'
declare -A may_include=()
while read -r part allowed; do
  [ -n "$part" ] && may_include[$part]=$allowed
done <<<"$core_parts"

# The part `path` belongs to, or nothing.
part_of() {
  local path=$1 best="" part
  for part in "${!may_include[@]}"; do
    case "$path" in
      "$part" | "$part"/* | "$part".*) [ ${#part} -gt ${#best} ] && best=$part ;;
    esac
  done
  printf '%s' "$best"
}

for f in ${layered_files[@]+"${layered_files[@]}"}; do
  case "$f" in
    main/*.cpp | main/*.h) ;;
    *) continue ;;
  esac
  own=$(part_of "$f")
  if [ -z "$own" ]; then
    fail "$f: belongs to no part of the core; give it a row in the table in scripts/check-source.sh"
    layering=1
    continue
  fi
  while IFS=: read -r line included; do
    [ "$(part_of "$included")" = "$own" ] && continue
    allowed=0
    for target in ${may_include[$own]}; do
      case "$included" in
        "$target" | "$target"/* | "$target".*) allowed=1 ;;
      esac
    done
    [ "$allowed" -eq 1 ] && continue
    fail "$f:$line: $own may not include $included"
    layering=1
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"main/' "$f" |
    sed -E 's|^([0-9]+):[^"]*"(main/[^"]*)".*|\1:\2|')
done

# (b) Formatting, with the repository's .clang-format.
formatting=0
if ! command -v clang-format >/dev/null; then
  fail "clang-format is not installed (scripts/deps.sh installs it)"
  formatting=1
elif ! config_error=$(clang-format --dump-config "${cpp_files[0]:-main/main.cpp}" 2>&1 >/dev/null); then
  fail "clang-format cannot read .clang-format: ${config_error%%$'\n'*}"
  formatting=1
elif [ ${#cpp_files[@]} -gt 0 ]; then
  status=0
  report=$(clang-format --dry-run -Werror "${cpp_files[@]}" 2>&1 >/dev/null) || status=$?
  unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*\[-Wclang-format-violations\]$/\1/p' <<<"$report" | sort -u)
  if [ "$status" -ne 0 ] && [ -z "$unformatted" ]; then
    fail "clang-format failed: ${report%%$'\n'*}"
    formatting=1
  fi
  version=$(clang-format --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
  hint=""
  [ "$version" = "$reference_clang_format" ] ||
    hint=" (this is clang-format $version; the tree follows clang-format $reference_clang_format, which CI uses)"
  while IFS= read -r f; do
    [ -n "$f" ] || continue
    fail "$f is not formatted: run clang-format -i $f$hint"
    formatting=1
  done <<<"$unformatted"
fi

# (c) Every shell script: the *.sh files, .ci/run, and any file without an extension that starts
# with a bash or sh shebang.
shell_scripts=()
for f in "${all_files[@]}"; do
  base=${f##*/}
  case "$f" in
    *.sh | .ci/run) shell_scripts+=("$f") ;;
    *)
      [[ ${base#.} == *.* ]] ||
        ! head -n1 "$f" | grep -qE '^#!.*[/ ](ba)?sh([[:space:]]|$)' || shell_scripts+=("$f")
      ;;
  esac
done

shell=0
if ! command -v shellcheck >/dev/null; then
  fail "shellcheck is not installed (scripts/deps.sh installs it)"
  shell=1
else
  for f in ${shell_scripts[@]+"${shell_scripts[@]}"}; do
    if ! findings=$(shellcheck -x -f gcc "$f" 2>&1); then
      while IFS= read -r finding; do fail "$finding"; done <<<"$findings"
      shell=1
    fi
  done
fi

# (d) Every build folder a workflow reads is one a preset builds: a workflow that reads another
# folder finds nothing there, and its steps check nothing or fail for the wrong reason.
folders=0
workflows=()
for f in "${all_files[@]}"; do
  case "$f" in
    .github/workflows/*.yml | .github/workflows/*.yaml) workflows+=("$f") ;;
  esac
done
if [ ${#workflows[@]} -gt 0 ]; then
  if ! preset_dirs=$(cmake -P cmake/preset_binary_dirs.cmake 2>&1); then
    fail "cannot read the presets' build folders: ${preset_dirs%%$'\n'*}"
    folders=1
  else
    for f in "${workflows[@]}"; do
      while IFS=: read -r line text; do
        while IFS= read -r dir; do
          dir=${dir#?}
          grep -qxF -- "$dir" <<<"$preset_dirs" && continue
          fail "$f:$line: names $dir, which no preset in CMakePresets.json builds into (${preset_dirs//$'\n'/ })"
          folders=1
        done < <(grep -oE '(^|[^[:alnum:]_.-])build-[[:alnum:]_.-]*[[:alnum:]_-]' <<<" $text")
      done < <(grep -nE '(^|[^[:alnum:]_.-])build-[[:alnum:]_-]' "$f" || true)
    done
  fi
fi

if [ "$failed" -ne 0 ]; then
  summary=()
  [ "$layering" -eq 0 ] || summary+=("layering")
  [ "$formatting" -eq 0 ] || summary+=("formatting")
  [ "$shell" -eq 0 ] || summary+=("shell scripts")
  [ "$folders" -eq 0 ] || summary+=("workflow build folders")
  joined=$(printf ', %s' "${summary[@]}")
  echo "check-source: FAILED (${joined#, })" >&2
  exit 1
fi
echo "check-source: layering, formatting (${#cpp_files[@]} files), shell scripts (${#shell_scripts[@]}) and the" \
  "workflows' build folders are clean"
