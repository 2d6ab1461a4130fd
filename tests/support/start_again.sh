#!/usr/bin/env bash
# Runs a test program through the emulator of a cross build (wine) and starts it again, three
# starts in all, when it wrote nothing on standard output: then it never got going. On a busy
# machine wine now and then ends a program before it runs, at once and with exit code 1, the
# same code as a failed test, so only the missing output tells the two apart. Every test program
# writes its first line before any of its cases runs (GoogleTest flushes its banner and each
# case's name), so a case that fails or crashes is never started again here; nor is a run that
# reached its time limit (timeout's 124, or 137 after its kill). A program that writes nothing
# at all three times fails, even with exit code 0: its tests would otherwise vanish from the list.
set -uo pipefail

out=$(mktemp "${TMPDIR:-/tmp}/tarv-test-out-XXXXXX") || exit 1
trap 'rm -f "$out"' EXIT

for start in 1 2 3; do
    "$@" | tee "$out"
    status=${PIPESTATUS[0]}
    [ -s "$out" ] || [ "$status" -eq 124 ] || [ "$status" -eq 137 ] || {
        echo "start_again.sh: start $start of 3 wrote nothing and ended with exit code $status: $*" >&2
        continue
    }
    exit "$status"
done
echo "start_again.sh: the program did not start" >&2
[ "$status" -ne 0 ] || status=1
exit "$status"
