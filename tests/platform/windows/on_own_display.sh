#!/usr/bin/env bash
# Runs a Windows program under wine in a real window system: an X server of its own (Xvfb on the
# first free display) and a wine prefix of its own (made once), so that its windows exist and
# nothing of another test's display or wine server is shared. Both end with it.
#
#   on_own_display.sh PREFIX PROGRAM [ARGS...]
set -uo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all
shift
command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 0; }
exec {display_fd}< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r -t 20 -u "$display_fd" display_number || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display_number
# A server of the prefix left by a run ended from outside would hold a display that is gone.
wineserver -k 2>/dev/null
timeout 10 wineserver -w 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wine "$@"
status=$?
wineserver -k 2>/dev/null
timeout 10 wineserver -w 2>/dev/null
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $status
