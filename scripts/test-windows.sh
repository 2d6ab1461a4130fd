#!/usr/bin/env bash
# Cross-builds the project for 64-bit Windows with mingw-w64 and tests it under wine on Debian 12:
#  1. the build without Qt (build/mingw): the core unit tests, the Win32 host tests, and an
#     end-to-end run of the link through a COM port that wine maps to tarv-adapter-sim (and a
#     production line on that port and a second one, COM34, with an emulator of its own);
#  2. the Windows programs (build/mingw-gui) with the static Qt of scripts/qt-windows.sh, built
#     from Debian's source the first time (30-45 minutes) and cached after that, or the Qt that
#     TARV_QT_PREFIX names (a modified one, to relink the programs against it): the real
#     tarv-configurator.exe driven with xdotool on a private Xvfb display against the emulator on
#     COM33, and the demo. The window's screenshot and the emulator's log of that run are kept in
#     build/mingw-gui/artifacts/ (with the whole screen when the stage fails).
# The tests of the first part run as in the other slow stages (scripts/ctest-stage.sh): the COM
# port cases, labelled realtime, get up to three tries, every other test one; and each test
# program that wine did not start at all is started again (tests/support/start_again.sh).
# Installs what is missing. The wine prefix is made afresh in a temporary folder and removed at
# the end; no wine process, X server or emulator stays behind. Arguments go to ctest (-R ComPort,
# -V). TARV_WINDOWS_GUI=0 leaves out the second part (and so the Qt build).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/wine-session.sh
source scripts/ctest-stage.sh

gui=${TARV_WINDOWS_GUI:-1}
packages=("${WINDOWS_PACKAGES[@]}")
[ "$gui" = 0 ] || packages+=("${WINDOWS_GUI_PACKAGES[@]}")
ensure_packages "${packages[@]}"

readonly comPort=COM33 # well above the ports wine finds on the machine itself
readonly comPort2=COM34 # a production line's second fixture
readonly artifacts=build/mingw-gui/artifacts

if [ "$gui" != 0 ]; then
    step "Qt for Windows (scripts/qt-windows.sh: built once, then cached)"
    TARV_QT_PREFIX=${TARV_QT_PREFIX:-$(scripts/qt-windows.sh)}
    export TARV_QT_PREFIX
fi

step "Linux build of the adapter emulator (build/mingw-sim)"
cmake -S . -B build/mingw-sim -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON \
    -DTARV_BUILD_GUI=OFF -DTARV_BUILD_TESTS=OFF >/dev/null
cmake --build build/mingw-sim --target tarv-adapter-sim

step "Windows cross build (build/mingw)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

if [ "$gui" != 0 ]; then
    step "Windows programs with the static Qt (build/mingw-gui)"
    "$TARV_QT_PREFIX/bin/qt-cmake" --preset mingw-gui --no-warn-unused-cli >/dev/null
    cmake --build --preset mingw-gui
fi

session_begin wine
link=$sessionWork/ttyADAPTER
link2=$sessionWork/ttyADAPTER2
step "wine prefix in $WINEPREFIX, $comPort and $comPort2 mapped to two emulators"
wine_map_port "$comPort" "$link"
wine_map_port "$comPort2" "$link2"
# At its next start wine makes dosdevices/com33 and lists the port under SERIALCOMM; the link
# must lead to the pseudo-terminal by then.
sim_start build/mingw-sim/tarv-adapter-sim "$link" "$sessionWork/sim.log"
second_sim_start build/mingw-sim/tarv-adapter-sim "$link2" "$sessionWork/sim2.log" AB5678
wine_warm_up
TARV_E2E_SIM_LOG=$(windows_path "$simLog")
TARV_E2E_SIM_LOG2=$(windows_path "$sessionWork/sim2.log")
export TARV_E2E_COM_PORT=$comPort TARV_E2E_SIM_LOG TARV_E2E_COM_PORT2=$comPort2 TARV_E2E_SIM_LOG2

step "tests under wine"
ctest_stage mingw "$@"
# The window meets one adapter, as before: the second fixture and its port go.
second_sim_stop
timeout 60 wine reg delete 'HKLM\Software\Wine\Ports' /v "$comPort2" /f >/dev/null 2>&1 || true
rm -f "$WINEPREFIX/dosdevices/${comPort2,,}"

[ "$gui" != 0 ] || {
    step "done"
    exit 0
}

# --- The Windows window under wine ---------------------------------------------------------

# The requests of the emulator's log from line $1 on, as "kind BYTES", one a line.
requests_from() {
    tail -n "+$1" "$simLog" | sed -E 's/^ *[0-9.]+ +//; s/ *\|.*$//; s/ +/ /g'
}

# True when the requests from line $1 on hold lines matching the patterns that follow, in that
# order (other requests may come between them). The patterns are awk's extended regular
# expressions without intervals ({n}), which mawk lacks.
requests_in_order() {
    local from=$1
    shift
    requests_from "$from" | awk -v want="$(printf '%s\n' "$@")" '
        BEGIN { n = split(want, pattern, "\n"); i = 1 }
        i <= n && $0 ~ pattern[i] { i++ }
        END { exit i <= n }'
}

# Waits up to $1 s for requests_in_order with the remaining arguments; fails with $2 otherwise.
expect_requests() {
    local seconds=$1 what=$2 from=$3
    shift 3
    for _ in $(seq $((seconds * 10))); do
        requests_in_order "$from" "$@" && {
            echo "ok: $what"
            return 0
        }
        sleep 0.1
    done
    echo "emulator log from line $from:" >&2
    tail -n "+$from" "$simLog" >&2
    fail "$what: not seen within $seconds s"
}

# The local date as the encoder stores it: days since 30 December 1899, 4 bytes, high first.
day_bytes() {
    local days=$(($(date -u -d "$(date +%F) 00:00" +%s) / 86400 + 25569))
    printf '%02X %02X %02X %02X' $((days >> 24 & 255)) $((days >> 16 & 255)) $((days >> 8 & 255)) $((days & 255))
}

no_message_boxes() {
    local boxes
    boxes=$(timeout 10 xdotool search --onlyvisible --name '^(ERROR|COM PORT|Warning!|EEPROM verification error)$' 2>/dev/null || true)
    [ -z "$boxes" ] || fail "a message box came up: $(for b in $boxes; do window_name "$b"; done | tr '\n' ' ')"
}

step "tarv-configurator.exe under wine on a private X display, the emulator on $comPort"
for exe in build/mingw-gui/tarv-configurator.exe build/mingw-gui/tarv-configurator-demo.exe; do
    check_imports_only_system_dlls "$exe"
done
# A fresh emulator with the untouched default KV24, so the window meets it for the first time.
wine_stop
sim_stop
rm -rf "$artifacts"
sim_start build/mingw-sim/tarv-adapter-sim "$link" "$sessionWork/gui-sim.log"
# The emulator's log of the run and, on a failure, the screen are kept beside the screenshot.
session_keep "$simLog" "$artifacts"
failureScreenshot=$artifacts/screen-at-failure.png
xvfb_start
wine_warm_up
echo "X display $DISPLAY"

# The date format is that of wine's default (US English) locale, whatever the machine's is. The
# image store is a folder of the session's own.
dataFolder=$sessionWork/data
mkdir -p "$dataFolder"
TARV_DATA_DIR=$(windows_path "$dataFolder")
export TARV_DATA_DIR
LC_ALL=C timeout 300 wine build/mingw-gui/tarv-configurator.exe >"$sessionWork/gui.out" 2>&1 &
programPid=$!
window=$(wait_window '^Tarv Configurator' 60) || true
[ -n "$window" ] || fail "no Tarv Configurator window within 60 s: $(cat "$sessionWork/gui.out")"
caption=$(window_name "$window")
[ "$caption" = "Tarv Configurator (Ver. 2.1.0.0)" ] || fail "caption '$caption'"
echo "ok: caption '$caption'"

expect_requests 10 "presence request and blink at 19200 8N2 during start-up" 1 \
    '^presence 5A 01 00 00$' '^signal 5A 10 0F 00$' '^signal 5A 10 0E 00$' '^signal 5A 10 0F 00$' '^signal 5A 10 0E 00$'
offLine=$(grep -vc '| 19200 8N2$' "$simLog" || true)
[ "$offLine" -eq 0 ] || fail "$offLine requests came at other line settings than 19200 8N2: $(grep -v '| 19200 8N2$' "$simLog")"
echo "ok: every request at 19200 8N2"
expect_requests 10 "name read, then the whole memory on the first sight of the KV24" 1 \
    '^eeprom-read 55 A1 49 04$' '^eeprom-read 55 A1 00 20$' '^eeprom-read 55 A1 20 20$' \
    '^eeprom-read 55 A1 40 20$' '^eeprom-read 55 A1 60 20$'
no_message_boxes

step "key P programs the encoder"
from=$(($(wc -l <"$simLog") + 1))
dayBefore=$(day_bytes)
send_keys "$window" p
writes=()
for address in $(seq 0 8 120); do writes+=("^eeprom-write 55 A0 $(printf '%02X' "$address") 08 "); done
expect_requests 30 "sixteen block writes, then the read-back" "$from" "${writes[@]}" \
    '^eeprom-read 55 A1 00 20$' '^eeprom-read 55 A1 20 20$' '^eeprom-read 55 A1 40 20$' '^eeprom-read 55 A1 60 20$'
# Bytes 89..92 hold the last-changed date: data bytes 1..4 of the block written at 88 (0x58).
stamped=$(requests_from "$from" | sed -nE 's/^eeprom-write 55 A0 58 08 [0-9A-F]{2} (([0-9A-F]{2} ){3}[0-9A-F]{2}).*/\1/p' | tail -n 1)
dayAfter=$(day_bytes)
[ "$stamped" = "$dayBefore" ] || [ "$stamped" = "$dayAfter" ] || fail "last-changed date written as '$stamped', today is '$dayAfter'"
echo "ok: today's date ($stamped) stamped as the last-changed date"
sleep 1 # the read-back refreshes the labels
no_message_boxes
images=$(find "$dataFolder/images" -name 'KV24-AB1234-*.bin' -size 128c 2>/dev/null | wc -l)
[ "$images" -eq 1 ] || fail "$images images of 128 bytes kept in $dataFolder/images, 1 expected"
grep -q '"program":"window","command":"program",.*"result":"ok","image":"KV24-AB1234-' "$dataFolder/journal.jsonl" ||
    fail "no journal line of the window's PROG: $(cat "$dataFolder/journal.jsonl" 2>/dev/null)"
echo "ok: the encoder's image kept before the write, and the write journalled"
screenshot "$window" "$artifacts/tarv-configurator-under-wine.png" || fail "no screenshot"
echo "screenshot: $artifacts/tarv-configurator-under-wine.png"

step "Alt+F4 closes the window and ends the program"
send_keys "$window" alt+F4
wait_exit "$programPid" 30
status=$exitCode
[ "$status" -eq 0 ] || fail "tarv-configurator.exe ended with exit code $status: $(cat "$sessionWork/gui.out")"
echo "ok: exit code 0"

step "the demo shows its window and the emulated encoder"
LC_ALL=C timeout 120 wine build/mingw-gui/tarv-configurator-demo.exe --report-after 3000 \
    >"$sessionWork/demo.out" 2>"$sessionWork/demo.err" &
demoPid=$!
demoWindow=$(wait_window '^Tarv Configurator' 60) || true
[ -n "$demoWindow" ] || fail "the demo showed no window within 60 s: $(cat "$sessionWork/demo.err")"
wait_exit "$demoPid" 60
status=$exitCode
report=$(tr -d '\r' <"$sessionWork/demo.out")
expected='LblPn=KV24
LblSn=DM2401
LblMf=3/14/2024
LblLc=6/2/2025
StBar1Panel0=Programming device on COM3'
[ "$status" -eq 0 ] || fail "the demo ended with exit code $status: $(cat "$sessionWork/demo.err")"
[ "$report" = "$expected" ] || fail "demo: exit code $status, expected:
$expected
got:
$report"
echo "ok: the demo's window showed the KV24 with the dates in the Windows short format"
step "done"
