#!/bin/sh
# Prints a help2man include file: a section with the --help of each of tarv-cli's subcommands,
# so that its manual page tells every option, not only the subcommands' names.
set -eu
cli=$1
echo "[SUBCOMMANDS]"
for command in ports info program backup restore verify history; do
    echo ".SS $command"
    echo ".nf"
    # Without the exit codes, which the page has once; backslashes kept for troff.
    "$cli" "$command" --help | sed -e '/^Exit codes:/,$d' -e 's/\\/\\\\/g' -e 's/^\./\\\&./'
    echo ".fi"
done
