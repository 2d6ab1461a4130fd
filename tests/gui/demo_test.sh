#!/usr/bin/env bash
# The demo, started under Xvfb, shows the emulated encoder's identity within two seconds.
# The German locale fixes the user's short date format to dd.MM.yy.
set -uo pipefail
demo=$1
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
out=$(LC_ALL=de_DE.UTF-8 timeout 60 xvfb-run -a "$demo" --report-after 2000 2>"$errors")
status=$?
expected='LblPn=KV24
LblSn=DM2401
LblMf=14.03.24
LblLc=02.06.25
StBar1Panel0=Programming device on COM3'
if [ "$status" -ne 0 ] || [ "$out" != "$expected" ]; then
    printf 'exit status %s\nexpected:\n%s\ngot:\n%s\nstandard error:\n' "$status" "$expected" "$out"
    cat "$errors"
    exit 1
fi
