# shellcheck shell=bash
# Sourced by the Windows test scripts: a throwaway 64-bit wine prefix, a private X display for
# windows, tarv-adapter-sim on a pseudo-terminal, bounded waits, and the cleanup of everything
# started here on every way out (normal end, failure, Ctrl+C). Every wine and xdotool call is
# bounded by timeout, so a hung wine fails the run instead of stalling it.

sessionWork=
xvfbPid=
simPid=
sim2Pid=
simIn=
simLog=

failureScreenshot= # where fail() saves the whole screen, when a display is up
keptFiles=()        # "file|folder" pairs copied out of the session folder before it goes

fail() {
    printf 'FAILED: %s\n' "$*" >&2
    if [ -n "$failureScreenshot" ] && [ -n "$xvfbPid" ]; then
        mkdir -p "$(dirname "$failureScreenshot")"
        timeout 30 scrot --overwrite "$failureScreenshot" 2>/dev/null && echo "the screen then: $failureScreenshot" >&2
    fi
    exit 1
}

# Keeps the file $1 (usually inside the session folder) in the folder $2 at the end.
session_keep() { keptFiles+=("$1|$2"); }

step() { printf '\n== [%ds] %s\n' "$SECONDS" "$*"; }

# The server goes first: it has taken the emulator's pseudo-terminal as its controlling terminal
# and floods its log once the emulator's side closes.
wine_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}

sim_stop() {
    [ -n "$simPid" ] || return 0
    eval "exec $simIn>&-"  # the emulator ends at the end of its stdin
    timeout 5 tail --pid="$simPid" -f /dev/null || kill "$simPid" 2>/dev/null || true
    wait "$simPid" 2>/dev/null || true
    simPid=
}

second_sim_stop() {
    [ -n "$sim2Pid" ] || return 0
    kill "$sim2Pid" 2>/dev/null || true
    wait "$sim2Pid" 2>/dev/null || true
    sim2Pid=
}

xvfb_stop() {
    [ -n "$xvfbPid" ] || return 0
    kill "$xvfbPid" 2>/dev/null || true
    wait "$xvfbPid" 2>/dev/null || true
    xvfbPid=
}

session_cleanup() {
    wine_stop
    sim_stop
    second_sim_stop
    xvfb_stop
    local kept
    for kept in "${keptFiles[@]}"; do
        [ -f "${kept%%|*}" ] || continue
        mkdir -p "${kept#*|}" && cp "${kept%%|*}" "${kept#*|}/"
    done
    [ -z "$sessionWork" ] || rm -rf "$sessionWork"
}

# A fresh prefix in a temporary folder; $1 names the folder.
session_begin() {
    sessionWork=$(mktemp -d "${TMPDIR:-/tmp}/tarv-$1-XXXXXX")
    trap session_cleanup EXIT
    trap 'exit 130' INT TERM
    # No menu entries in the user's desktop from installers, no Mono or Gecko prompts.
    export WINEPREFIX=$sessionWork/prefix WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    # The prefix must exist before anything is put into it (dosdevices first makes wineboot hang).
    timeout 300 wine wineboot --init </dev/null >"$sessionWork/wineboot.log" 2>&1 || {
        cat "$sessionWork/wineboot.log" >&2
        fail "wine could not make its prefix"
    }
}

# A lasting server, warmed up: otherwise the background processes that the first wine program
# starts hold its output and every later start waits for them. Its output must not go to a pipe
# that anyone waits on, since the server keeps it open.
wine_warm_up() {
    timeout 30 wineserver -p 60 </dev/null >/dev/null 2>&1 || true
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1 || fail "wine did not start (wineboot)"
}

# The Windows name of the path $1. A wine that is still settling can fail a first try; a third
# failure ends the session with a message rather than silently.
windows_path() {
    local name
    for _ in 1 2 3; do
        name=$(timeout 30 winepath -w "$1" 2>/dev/null) && [ -n "$name" ] && {
            echo "$name"
            return 0
        }
        sleep 1
    done
    fail "winepath could not name $1"
}

# Maps COM port $1 to the path $2 for good; wine makes the device at its next server start.
wine_map_port() {
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /t REG_SZ /d "$2" /f >/dev/null ||
        fail "could not map $1 in wine's registry"
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
}

# tarv-adapter-sim ($1) with its default KV24 encoder behind the link $2, logging to $3; further
# arguments go to the emulator.
sim_start() {
    local program=$1 link=$2
    simLog=$3
    shift 3
    coproc SIM { exec "$program" --pace --log "$simLog" --link "$link" --exit-on-stdin-eof "$@" 2>"$sessionWork/sim.err"; }
    simPid=$SIM_PID
    simIn=${SIM[1]}
    local slave
    read -r -t 10 slave <&"${SIM[0]}" || fail "tarv-adapter-sim did not start: $(cat "$sessionWork/sim.err")"
    echo "tarv-adapter-sim serves $slave behind $link"
}

# A second emulator ($1) behind the link $2, logging to $3, its encoder's serial number $4: the
# second fixture of a production line. It ends with the session.
second_sim_start() {
    local program=$1 link=$2 log=$3 serial=$4
    "$program" --pace --serial "$serial" --log "$log" --link "$link" </dev/null >/dev/null 2>"$sessionWork/sim2.err" &
    sim2Pid=$!
    for _ in $(seq 100); do
        [ -L "$link" ] && return 0
        sleep 0.1
    done
    fail "the second tarv-adapter-sim did not start: $(cat "$sessionWork/sim2.err")"
}

# A private X server; DISPLAY is set for what follows.
xvfb_start() {
    local number=$sessionWork/display
    : >"$number"
    # -noreset: the server must not reset when its last client leaves, or a program that connects
    # just then (wine starts several) finds no display.
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset 9>"$number" >"$sessionWork/xvfb.log" 2>&1 &
    xvfbPid=$!
    for _ in $(seq 100); do
        [ -s "$number" ] && break
        kill -0 "$xvfbPid" 2>/dev/null || fail "Xvfb did not start: $(cat "$sessionWork/xvfb.log")"
        sleep 0.1
    done
    [ -s "$number" ] || fail "Xvfb did not start within 10 s"
    DISPLAY=:$(tr -d '\n' <"$number")
    export DISPLAY
}

# Prints the id of the first visible window whose name matches the pattern $1, waiting up to $2 s.
# (A plain poll: xdotool's own --sync missed wine's windows that were mapped after it started.)
wait_window() {
    local found
    for _ in $(seq $(($2 * 5))); do
        found=$(timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -z "$found" ] || {
            echo "$found"
            return 0
        }
        sleep 0.2
    done
    return 1
}

window_name() { timeout 10 xdotool getwindowname "$1" 2>/dev/null; }

# Keys for window $1. There is no window manager, which cannot activate windows, so focus is
# given directly; the keys then go through XTEST as a user's would.
send_keys() {
    local window=$1
    shift
    timeout 10 xdotool windowfocus --sync "$window" >/dev/null 2>&1 || fail "could not focus window $window"
    timeout 10 xdotool key --delay 50 "$@" || fail "xdotool could not send $*"
}

# Waits up to $2 s for the process $1, a child of this shell, to end and leaves its exit code in
# exitCode (not printed: a command substitution's subshell cannot wait for this shell's children).
exitCode=
# shellcheck disable=SC2034 # exitCode is read by the scripts that source this file
wait_exit() {
    local pid=$1 seconds=$2
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "process $pid did not end within $seconds s"
    exitCode=0
    wait "$pid" || exitCode=$?
}

# Saves the rectangle of window $1 as the PNG file $2.
screenshot() {
    local geometry X Y WIDTH HEIGHT
    geometry=$(timeout 10 xdotool getwindowgeometry --shell "$1") || return 1
    eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=' <<<"$geometry")"
    mkdir -p "$(dirname "$2")"
    timeout 30 scrot --overwrite --autoselect "$X,$Y,$WIDTH,$HEIGHT" "$2"
}

# Every DLL that the Windows program $1 imports is one of wine's system DLLs, so it runs as one
# file: no Qt, C++ runtime or thread library DLL beside it; and it is a windowed program, or with
# $2 = console a console one (tarv-cli). Needs a prefix.
check_imports_only_system_dlls() {
    local exe=$1 kind=${2:-windowed} dll missing=()
    local headers imports
    headers=$(x86_64-w64-mingw32-objdump -p "$exe") || fail "$exe: objdump cannot read it"
    imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' | sort -u)
    [ -n "$imports" ] || fail "$exe: no import table found"
    for dll in $imports; do
        # api-ms-win-*: Windows API sets, which the loader resolves to system DLLs.
        [[ $dll == api-ms-win-* ]] || [ -e "$WINEPREFIX/drive_c/windows/system32/$dll" ] || missing+=("$dll")
    done
    [ ${#missing[@]} -eq 0 ] || fail "$exe imports DLLs that are not Windows system DLLs: ${missing[*]}"
    # Subsystem 2 is a windowed program: no console window opens with it; 3 is a console program.
    local subsystem=2
    [ "$kind" = console ] && subsystem=3
    grep -Eq "^Subsystem\\s+0+$subsystem\\s" <<<"$headers" || fail "$exe is not a $kind program"
    echo "$(basename "$exe"): imports only system DLLs ($(tr '\n' ' ' <<<"$imports")), $kind"
}
