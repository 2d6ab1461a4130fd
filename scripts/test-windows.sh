#!/usr/bin/env bash
# Cross-builds the project for 64-bit Windows with mingw-w64 (warnings as errors, no GUI) and runs
# its tests under wine on Debian 12: the core unit tests, the Win32 host tests, and an end-to-end
# run of the link through a COM port that wine maps to tarv-adapter-sim's pseudo-terminal.
# Installs what is missing. The wine prefix is made afresh in a temporary folder and removed at
# the end; no wine process and no emulator stays behind. Arguments go to ctest (-R ComPort, -V).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages "${WINDOWS_PACKAGES[@]}"

readonly comPort=COM33  # well above the ports wine finds on the machine itself
work=$(mktemp -d "${TMPDIR:-/tmp}/tarv-wine-XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

simPid=
simIn=
cleanup() {
    # wine's server goes first: it has taken the pseudo-terminal as its controlling terminal and
    # would flood its log once the emulator's side closes.
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
    if [ -n "$simPid" ]; then
        eval "exec $simIn>&-"  # the emulator ends at the end of its stdin
        timeout 5 tail --pid="$simPid" -f /dev/null || kill "$simPid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { printf '\n== [%ds] %s\n' "$SECONDS" "$*"; }

step "Linux build of the adapter emulator (build/mingw-sim)"
cmake -S . -B build/mingw-sim -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_WERROR=ON \
    -DTARV_BUILD_GUI=OFF -DTARV_BUILD_TESTS=OFF >/dev/null
cmake --build build/mingw-sim --target tarv-adapter-sim

step "Windows cross build (build/mingw)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

step "wine prefix in $WINEPREFIX, $comPort mapped to the emulator"
# The prefix must exist before anything is put into it (dosdevices first makes wineboot hang).
timeout 300 wine wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log"
    exit 1
}
timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$comPort" /t REG_SZ /d "$work/ttyADAPTER" /f >/dev/null
# At its next start wine makes dosdevices/com33 and lists the port under SERIALCOMM; the link
# must lead to the pseudo-terminal by then.
timeout 30 wineserver -k || true
timeout 30 wineserver -w

log=$work/sim.log
coproc SIM { exec build/mingw-sim/tarv-adapter-sim --pace --log "$log" --link "$work/ttyADAPTER" \
    --exit-on-stdin-eof 2>"$work/sim.err"; }
simPid=$SIM_PID
simIn=${SIM[1]}
read -r -t 10 slave <&"${SIM[0]}" || {
    echo "tarv-adapter-sim did not start: $(cat "$work/sim.err")"
    exit 1
}
echo "tarv-adapter-sim serves $slave as $comPort"

# A lasting server, warmed up, before CTest starts any wine program: otherwise the background
# processes of the first one hold its output pipe and every test waits for them.
timeout 30 wineserver -p 60 </dev/null >/dev/null 2>&1
timeout 120 wine wineboot </dev/null >/dev/null 2>&1
TARV_E2E_SIM_LOG=$(timeout 30 winepath -w "$log" 2>/dev/null)
export TARV_E2E_COM_PORT=$comPort TARV_E2E_SIM_LOG

step "tests under wine"
ctest --preset mingw "$@"
step "done"
