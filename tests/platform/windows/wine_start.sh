#!/usr/bin/env bash
# Runs a Windows test program under wine: wine_start.sh WINE PROGRAM [ARGUMENTS...]
# Now and then (once in some hundreds of starts here) wine ends at once with a failure and no
# output at all, before the program's main has run. Such a start is made again, at most twice,
# and said on standard error. A program that printed anything is never run again: its outcome
# stands.
wine=$1
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
    "$wine" "$@" >"$out" 2>"$err"
    status=$?
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 3 ]; then
        cat "$out"
        cat "$err" >&2
        exit "$status"
    fi
    echo "wine_start.sh: wine ended with status $status before the program ran; starting it again" >&2
done
