#!/usr/bin/env bash
# Builds everything and runs every test: once in the ordinary build, once under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
corvel_install_missing
for preset in default asan; do
  echo "=== $preset build ==="
  # shellcheck disable=SC2046
  cmake --preset "$preset" $(corvel_configure_arguments) >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
