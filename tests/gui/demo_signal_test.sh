#!/usr/bin/env bash
# SIGTERM and SIGINT end the program through its normal exit path (exit code 0), not by the
# signal's default action.
set -euo pipefail
demo=$1
for signal in TERM INT; do
    QT_QPA_PLATFORM=offscreen "$demo" >/dev/null 2>&1 &
    pid=$!
    sleep 1.5
    kill -s "$signal" "$pid"
    status=0
    timeout 10 tail --pid="$pid" -f /dev/null || { echo "still running after SIG$signal"; kill -9 "$pid"; exit 1; }
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "SIG$signal: exit status $status"
        exit 1
    fi
done
