#!/usr/bin/env bash
# The whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# the core and end-to-end tests under valgrind. Installs what is missing (Debian 12) first. In both,
# the tests labelled realtime get up to three tries (scripts/ctest-stage.sh); all others run once.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/ctest-stage.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" valgrind

cmake --preset asan
cmake --build --preset asan
ctest_stage asan

# valgrind (-q --error-exitcode=1 --leak-check=full) runs each test program of build/valgrind, the
# normal build without the window; tarv-adapter-sim and tarv-cli, which the end-to-end tests start,
# run outside it, since under valgrind the emulator would miss the adapter's 50 ms answer deadline.
# A valgrind error is the test's exit code 1, so the test fails.
cmake --preset valgrind >/dev/null
cmake --build --preset valgrind
ctest_stage valgrind
