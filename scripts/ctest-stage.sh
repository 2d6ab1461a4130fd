# shellcheck shell=bash
# Sourced by the slow test stages (sanitizers, valgrind, wine), where a loaded machine can make a
# test that waits on real time miss its deadline.

# Runs the tests of the ctest preset $1 (further arguments go to both ctest calls): first every
# test that does not carry the label realtime, once, as it must pass; then the realtime ones, each
# tried up to three times until it passes. A real fault fails all three tries. Both calls run
# even when the first fails, and the stage fails when either did.
ctest_stage() {
    local preset=$1 status=0
    shift
    echo "ctest --preset $preset: every test but the realtime ones, once"
    ctest --preset "$preset" -LE realtime "$@" || status=1
    echo "ctest --preset $preset: the realtime tests, up to three tries each"
    ctest --preset "$preset" -L realtime --repeat until-pass:3 "$@" || status=1
    return "$status"
}
