#!/usr/bin/env bash
# Runs a command on a virtual X server of its own with openbox managing its windows: what a
# reader's desktop does to a window (frames, title bars, full screen) cannot be seen offscreen.
#
#   with_window_manager.sh COMMAND [ARGUMENTS...]
#
# Exits 77 (skipped) when the X server or the window manager is missing or does not come up.
set -u
for tool in Xvfb openbox xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
xvfb=
wm=
cleanup() {
    [[ -n $wm ]] && kill "$wm" 2>/dev/null
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display number of the server's own choosing, so parallel tests never share one; no reset
# when a client (xprop) leaves, or the window manager could find the server regenerating.
Xvfb -displayfd 5 -nolisten tcp -noreset -screen 0 1024x768x24 5>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
if [[ ! -s $work/display ]]; then
    echo "SKIPPED: the virtual X server did not start: $(cat "$work/xvfb.log")"
    exit 77
fi
export DISPLAY=":$(head -n1 "$work/display")"

# The server takes connections once it answers.
for _ in $(seq 100); do
    xprop -root >/dev/null 2>&1 && break
    sleep 0.1
done

# openbox keeps nothing of the reader's own: its session and cache go into the work folder.
HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    openbox --sm-disable >"$work/wm.log" 2>&1 &
wm=$!
# The window manager is ready once it has announced itself on the root window.
ready=0
for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        ready=1
        break
    fi
    sleep 0.1
done
if ((!ready)); then
    echo "SKIPPED: openbox did not come up: $(cat "$work/wm.log")"
    exit 77
fi

export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
"$@"
