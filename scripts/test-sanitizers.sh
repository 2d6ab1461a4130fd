#!/usr/bin/env bash
# The whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# the core and end-to-end tests of the normal build under valgrind. Installs what is missing
# (Debian 12) first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" valgrind

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# valgrind checks the test programs themselves; tarv-adapter-sim runs outside it, since under
# valgrind it would miss the adapter's 50 ms answer deadline.
cmake --preset ci >/dev/null
cmake --build --preset ci --target tarv_unit_tests tarv_cli_tests tarv_fuzz_tests tarv_e2e_tests
for test in tarv_unit_tests tarv_cli_tests tarv_fuzz_tests tarv_e2e_tests; do
    echo "valgrind: $test"
    valgrind -q --error-exitcode=1 --leak-check=full "build/ci/tests/$test" --gtest_brief=1
done
