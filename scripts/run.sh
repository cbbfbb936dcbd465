#!/usr/bin/env bash
# Builds Corvel and starts it: on Linux on the simulated Mac, in this terminal; on a Mac, for real.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
corvel_install_missing
# shellcheck disable=SC2046
cmake --preset default $(corvel_configure_arguments) >/dev/null
cmake --build --preset default
if [ "$(uname -s)" = Darwin ]; then
  exec build/bin/Corvel.app/Contents/MacOS/Corvel "$@"
fi
exec build/bin/Corvel "$@"
