#!/usr/bin/env bash
# Installs what the build and the tests need, only what is missing: Debian packages on Linux,
# Homebrew formulae on a Mac. Sourced by run.sh and test.sh.

corvel_packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  libcairo2-dev libpango1.0-dev fonts-dejavu-core   # the simulated Dock icon
  sudo            # the real visudo, which checks the sudoers rule
  clang           # the syntax check of the Mac adapters
  clang-format shellcheck   # scripts/check-source.sh
  ruby            # the syntax check of the Homebrew cask
)
corvel_formulae=(cmake ninja googletest google-benchmark clang-format shellcheck)

corvel_install_missing_mac() {
  xcode-select -p >/dev/null 2>&1 || { echo "Install the Xcode Command Line Tools first: xcode-select --install" >&2; return 1; }
  command -v brew >/dev/null || { echo "Please install Homebrew, then run this again." >&2; return 1; }
  local missing=() f
  for f in "${corvel_formulae[@]}"; do brew list --versions "$f" >/dev/null 2>&1 || missing+=("$f"); done
  [ ${#missing[@]} -eq 0 ] || brew install "${missing[@]}"
}

corvel_install_missing() {
  [ "$(uname -s)" = Darwin ] && { corvel_install_missing_mac; return; }
  local missing=() p
  for p in "${corvel_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; return 1; }
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Extra configure arguments: on a Mac the everyday build is for this machine's architecture only,
# since Homebrew's test libraries are not universal (the release workflow builds the universal app).
corvel_configure_arguments() {
  [ "$(uname -s)" = Darwin ] && echo "-DCMAKE_OSX_ARCHITECTURES=$(uname -m)"
  return 0
}
