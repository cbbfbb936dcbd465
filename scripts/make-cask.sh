#!/usr/bin/env bash
# Writes packaging/corvel.rb, the Homebrew cask for one release: make-cask.sh VERSION DMG URL.
# VERSION is the release's version, DMG the notarised Corvel.dmg, URL where that DMG is published.
# The bundle identifier is CORVEL_BUNDLE_IDENTIFIER, or the default in CMakeLists.txt.
set -euo pipefail
# DMG is named from where the script was called, before it moves to the repository.
caller=$PWD
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/make-cask.sh VERSION DMG URL" >&2
  exit 2
}
[ $# -eq 3 ] || usage
version=$1
dmg=$2
url=$3

# Every value lands inside a Ruby string, so each is held to a shape that cannot leave it.
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "make-cask.sh: not a version: $version" >&2; exit 2; }
# A host name first: "https:///…" names no server at all.
[[ "$url" =~ ^https://[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]+)?/[A-Za-z0-9._~/%+=:-]*$ ]] || {
  echo "make-cask.sh: not an https URL: $url" >&2
  exit 2
}
[[ "$dmg" == /* ]] || dmg="$caller/$dmg"
[ -f "$dmg" ] || { echo "make-cask.sh: no such file: $dmg" >&2; exit 2; }

bundle_id=${CORVEL_BUNDLE_IDENTIFIER:-$(sed -n 's/^set(CORVEL_BUNDLE_IDENTIFIER "\([^"]*\)".*/\1/p' CMakeLists.txt)}
[[ "$bundle_id" =~ ^[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+$ ]] || {
  echo "make-cask.sh: not a bundle identifier: '$bundle_id'" >&2
  exit 2
}

if command -v shasum >/dev/null; then
  sha256=$(shasum -a 256 "$dmg")
else
  sha256=$(sha256sum "$dmg")
fi
sha256=${sha256%% *}

# A GitHub release URL names its repository, which is the project's home page; any other host is
# taken as its own.
if [[ "$url" =~ ^(https://github\.com/[^/]+/[^/]+)/releases/ ]]; then
  homepage=${BASH_REMATCH[1]}
else
  homepage=$(echo "$url" | sed -E 's|^(https://[^/]+).*|\1|')
fi

mkdir -p packaging
cat >packaging/corvel.rb <<EOF
cask "corvel" do
  version "$version"
  sha256 "$sha256"

  url "$url"
  name "Corvel"
  desc "Menu-bar switch that keeps the computer awake while unattended work runs"
  homepage "$homepage"

  depends_on macos: :ventura

  app "Corvel.app"

  uninstall quit:      "$bundle_id",
            launchctl: "$bundle_id.watchdog"

  zap trash: "~/Library/Preferences/$bundle_id.plist"

  caveats <<~EOS
    Corvel refuses to quit while protection is on. Before uninstalling, switch protection off
    and quit Corvel with OFFにして終了 from its menu.
    If you used the remote strong mode (リモート強制モード), quit with 設定を元に戻して終了… instead:
    it puts the screen lock, the sleep setting and its sudoers rule back before Corvel quits.
  EOS
end
EOF
echo "packaging/corvel.rb: Corvel $version, sha256 $sha256"
