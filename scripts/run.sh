#!/usr/bin/env bash
# Builds Corvel and starts it on the simulated Mac, in this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
corvel_install_missing
cmake --preset default >/dev/null
cmake --build --preset default
exec build/bin/Corvel "$@"
