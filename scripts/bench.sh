#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds the benchmarks (preset bench: build/bench) and runs
# them against paced tarv-adapter-sim servers on pseudo-terminals: tarv-bench times the device
# link's procedures, tarv-cli-bench times tarv-cli as a whole process and its processor time,
# tarv-store-bench times keeping an image and its journal line on the disk of build/bench,
# tarv-gang-bench runs one tarv-cli production loop on 1, 2, 4 and 8 ports at once.
# Arguments go to the first two: --runs N (default 15), --block-write-ms MS (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
status=0
build/bench/bench/tarv-bench "$@" || status=$?
echo
build/bench/bench/tarv-cli-bench "$@" || status=$?
echo
build/bench/bench/tarv-store-bench --folder build/bench || status=$?
echo
build/bench/bench/tarv-gang-bench || status=$?
exit "$status"
