#!/bin/bash
# Runs a Windows program that opens windows (a test program of the Win32 windows, or a script
# that drives them) under wine on an X server: in a wine prefix of its own, since a prefix whose
# desktop was started without a display (the other Windows tests run so) opens no windows later.
# The prefix's wine server and the X server, if this script started it, end with it.
#
#     windows_under_xvfb.sh PREFIX DISPLAY COMMAND [ARGS...]
#
# DISPLAY: a number (an X server already there on it is used, else one is started on it), or
# "auto" for a free one that the X server picks. COMMAND runs with DISPLAY and WINEPREFIX set.
set -u
prefix=$1 display=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all

xvfb=""
work=$(mktemp -d)
finish() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT

if [ "$display" = auto ] || [ ! -e "/tmp/.X11-unix/X$display" ]; then
    # The server writes its number when it takes connections; the read sleeps until then.
    mkfifo "$work/ready"
    if [ "$display" = auto ]; then
        Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp 5>"$work/ready" \
            >"$work/xvfb.log" 2>&1 &
    else
        Xvfb ":$display" -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp 5>"$work/ready" \
            >"$work/xvfb.log" 2>&1 &
    fi
    xvfb=$!
    read -r display <"$work/ready" || { cat "$work/xvfb.log" >&2; exit 1; }
fi
export DISPLAY=:$display

# A new prefix is made once, its desktop on this display.
[ -d "$prefix" ] || wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null
wineserver -w
# Its own diagnostics (an object table whenever a device goes away) go to a file, and it holds
# none of this script's outputs open.
wineserver -p >"$work/wineserver.log" 2>&1 </dev/null
"$@"
