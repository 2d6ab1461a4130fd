#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds the program and starts it.
#   scripts/run.sh          the configurator, on this computer's serial ports
#   scripts/run.sh --demo   the same program with an emulated adapter and encoder built in
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

program=tarv-configurator
[ "${1:-}" = "--demo" ] && program=tarv-configurator-demo
cmake --preset default >/dev/null
cmake --build --preset default --target "$program"
exec "build/default/$program"
