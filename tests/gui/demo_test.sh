#!/usr/bin/env bash
# The demo, started under Xvfb, shows the emulated encoder's identity within two seconds.
# The German locale fixes the user's short date format to dd.MM.yy.
set -euo pipefail
demo=$1
out=$(LC_ALL=de_DE.UTF-8 timeout 60 xvfb-run -a "$demo" --report-after 2000 2>/dev/null)
expected='LblPn=KV24
LblSn=DM2401
LblMf=14.03.24
LblLc=02.06.25
StBar1Panel0=Programming device on COM3'
if [ "$out" != "$expected" ]; then
    printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$out"
    exit 1
fi
