#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds everything with warnings as errors and runs the
# whole test suite: unit, GUI and end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cmake --preset ci
cmake --build --preset ci
ctest --preset ci
