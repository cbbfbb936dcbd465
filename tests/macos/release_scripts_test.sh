#!/usr/bin/env bash
# The release scripts as far as they run anywhere: the cask make-cask.sh writes, the values it will
# not write into one, and mac-check.sh refusing to start off a Mac. Usage: release_scripts_test.sh ROOT
set -uo pipefail
root=$1 work=$(mktemp -d) status=0
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" && status=1; }
mkdir "$work/scripts" && cp "$root/scripts/make-cask.sh" "$work/scripts/" && cp "$root/CMakeLists.txt" "$work/"
printf 'a disk image' >"$work/Corvel.dmg"
cask="$work/packaging/corvel.rb" url=https://github.com/someone/corvel/releases/download/v2.1.0/Corvel.dmg
make_cask() { (cd "$work" && CORVEL_BUNDLE_IDENTIFIER=$4 scripts/make-cask.sh "$1" "$2" "$3") >/dev/null 2>&1; }

make_cask 2.1.0 Corvel.dmg "$url" org.example.Test || fail "make-cask.sh refused a good release"
sha=$(sha256sum "$work/Corvel.dmg" 2>/dev/null || shasum -a 256 "$work/Corvel.dmg")
for line in 'version "2.1.0"' "sha256 \"${sha%% *}\"" "url \"$url\"" 'homepage "https://github.com/someone/corvel"' \
  'depends_on macos: :ventura' 'app "Corvel.app"' 'uninstall quit:      "org.example.Test",' \
  'launchctl: "org.example.Test.watchdog"' 'zap trash: "~/Library/Preferences/org.example.Test.plist"' \
  'caveats <<~EOS' '設定を元に戻して終了…'; do
  grep -qF -- "$line" "$cask" || fail "the cask lacks: $line"
done
# What brew style refuses: the platform named in the description.
grep -E '^ *desc ' "$cask" | grep -qiE 'mac' && fail "the cask's desc names the platform: $(grep -E '^ *desc ' "$cask")"
if command -v ruby >/dev/null; then
  ruby -c "$cask" >/dev/null || fail "the cask is not valid Ruby"
else
  fail "ruby is not installed (scripts/deps.sh installs it): the cask's syntax is unchecked"
fi

# A relative DMG is the caller's, not a file of that name in the repository.
mkdir "$work/elsewhere" && printf 'the new disk image' >"$work/elsewhere/Corvel.dmg"
(cd "$work/elsewhere" && CORVEL_BUNDLE_IDENTIFIER=org.example.Test ../scripts/make-cask.sh 2.1.0 Corvel.dmg "$url") \
  >/dev/null 2>&1 || fail "make-cask.sh refused a DMG named from another folder"
sha=$(sha256sum "$work/elsewhere/Corvel.dmg" 2>/dev/null || shasum -a 256 "$work/elsewhere/Corvel.dmg")
grep -qF "sha256 \"${sha%% *}\"" "$cask" || fail "the cask's sha256 is not the named DMG's: $(grep sha256 "$cask")"

# Each value ends up inside a Ruby string: none that could leave it is written.
while IFS='|' read -r version dmg address id; do
  rm -f "$cask"
  if make_cask "$version" "$dmg" "$address" "$id" || [ -e "$cask" ]; then fail "a cask for: $version $dmg $address $id"; fi
done <<LIST
2.1"|Corvel.dmg|$url|org.example.Test
2.1.0|Corvel.dmg|https://x.test/a"b.dmg|org.example.Test
2.1.0|Corvel.dmg|https://x.test/#{\`id\`}.dmg|org.example.Test
2.1.0|Corvel.dmg|http://x.test/Corvel.dmg|org.example.Test
2.1.0|Corvel.dmg|https:///Corvel.dmg|org.example.Test
2.1.0|Corvel.dmg|https://|org.example.Test
2.1.0|Corvel.dmg|https://.x.test/Corvel.dmg|org.example.Test
2.1.0|missing.dmg|$url|org.example.Test
2.1.0|Corvel.dmg|$url|org.example."Test
LIST

# check-source.sh names every build folder a workflow reads that no preset builds into, and only those.
checked="$work/checked"
mkdir -p "$checked/scripts" "$checked/cmake" "$checked/.github/workflows"
cp "$root/scripts/check-source.sh" "$checked/scripts/" && cp "$root/cmake/preset_binary_dirs.cmake" "$checked/cmake/"
cp "$root/CMakePresets.json" "$checked/"
while IFS='|' read -r step expected; do
  printf 'jobs:\n  app:\n    steps:\n      - run: %s\n' "$step" >"$checked/.github/workflows/mac.yml"
  output=$("$checked/scripts/check-source.sh" 2>&1)
  found=$(sed -n 's/^check-source: .github\/workflows\/mac.yml:[0-9]*: names \([^,]*\), which no preset.*/\1/p' <<<"$output" |
    tr '\n' ' ')
  [ "$found" = "$expected" ] || fail "check-source.sh on '$step' named '$found', expected '$expected'"
done <<LIST
cmake --build build-release && ls build-release/bin build/bin|
ditto build-universal/bin/Corvel.app x && ctest --test-dir build-tests|build-universal build-tests 
cd "\$GITHUB_WORKSPACE/build-asan" && cmake --build build-tsan --target all|
LIST

# Under pipefail, a producer piped into grep -q fails when grep has its match and closes the pipe
# early: mac-check.sh would record a FAIL for a check that passed. It reads outputs whole instead.
while IFS= read -r found; do
  fail "mac-check.sh pipes into grep -q under pipefail: $found"
done < <(grep -nE '\|[[:space:]]*grep[[:space:]]([^|]*[[:space:]])?-[[:alnum:]]*q' "$root/scripts/mac-check.sh")

# A secure text field refuses cut and copy, so a check that asks for them records a correct Corvel
# as failing.
grep -nE '⌘[XC]' "$root/scripts/mac-check.sh" | while IFS= read -r found; do
  echo "FAIL: mac-check.sh asks to cut or copy, which a password field refuses: $found"
done | grep . && status=1

if [ "$(uname -s)" != Darwin ]; then
  output=$("$root/scripts/mac-check.sh" 2>&1) && fail "mac-check.sh succeeded off a Mac"
  [[ "$output" == *"needs macOS"* ]] || fail "mac-check.sh did not say it needs macOS: $output"
fi
exit "$status"
