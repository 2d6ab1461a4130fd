#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds the wire-efficiency benchmarks in build/bench and
# runs them against paced tarv-adapter-sim servers on pseudo-terminals. Arguments go to
# tarv-bench: --runs N (default 15), --block-write-ms MS (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARV_BUILD_BENCH=ON -DTARV_BUILD_GUI=OFF \
    -DTARV_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench --target tarv-bench >/dev/null
exec build/bench/bench/tarv-bench "$@"
