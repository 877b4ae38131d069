#!/usr/bin/env bash
# The end of a session, as a reader meets it: the window's player gets SIGTERM, SIGHUP or
# SIGINT while its slot picker is up and must end cleanly (status 0, settings written, slot
# intact); the terminal player killed outright after a page keeps that page in its slot.
#
#   session_end_test.sh VRKC VRK3
set -u
vrkc=$(realpath "$1")
vrk3=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

cat > "$work/story.txt" <<'STORY'
*START
first page
?
on
NEXT
?END
*NEXT
second page
?
again
START
?END
*VRKALTER
name
hero
????
????
????
????
????
????
????
????
????
????
????
????
????
????
????
????
Title
STORY
mkdir -p "$work/project" "$work/program"
"$vrkc" --slots "$work/story.txt" "$work/project/TALE" || { echo "story does not compile" >&2; exit 1; }
# The settings file goes beside the program when it can: a copy of the program of our own.
cp "$vrk3" "$work/program/vrk3"
# The window is a module the program loads from beside itself.
cp "$(dirname "$vrk3")/vrk3-window.so" "$work/program/"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work"
export SDL_AUDIODRIVER=dummy
cp "$work/project/TALE.V01" "$work/fresh-slot"

# The window needs a display of its own: an X server on a free display number.
if command -v Xvfb >/dev/null 2>&1; then
    Xvfb -displayfd 5 -nolisten tcp 5>"$work/display" 2>/dev/null &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 100); do
        [[ -s $work/display ]] && break
        sleep 0.1
    done
    export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
    for signal in TERM HUP INT; do
        rm -f "$work/program/vrk.ini"
        "$work/program/vrk3" "$work/project/TALE.VRK" </dev/null >"$work/out" 2>&1 &
        pid=$!
        sleep 2
        kill -s "$signal" "$pid" || fail "SIG$signal: the player had already ended: $(cat "$work/out")"
        status=124
        for _ in $(seq 100); do
            if ! kill -0 "$pid" 2>/dev/null; then
                wait "$pid"
                status=$?
                break
            fi
            sleep 0.1
        done
        if ((status == 124)); then
            kill -9 "$pid" 2>/dev/null
            fail "SIG$signal: the player did not end within 10 s"
            continue
        fi
        ((status == 0)) || fail "SIG$signal: exit status $status"
        [[ -s $work/program/vrk.ini ]] || fail "SIG$signal: settings not written"
        cmp -s "$work/fresh-slot" "$work/project/TALE.V01" || fail "SIG$signal: the slot changed during the picker"
    done
else
    echo "session_end: no Xvfb here; the window's part is skipped"
fi
unset DISPLAY
export QT_QPA_PLATFORM=offscreen

# Terminal player on a fresh slot: one choice, then killed without a chance to flush.
cp "$work/fresh-slot" "$work/project/TALE.V01"
fifo="$work/input"
mkfifo "$fifo"
"$work/program/vrk3" --headless "$work/project/TALE.VRK" <"$fifo" >"$work/transcript" 2>&1 &
pid=$!
exec 3>"$fifo"
printf '\n' >&3   # the name prompt keeps its default
printf 'a\n' >&3
for _ in $(seq 100); do
    grep -q '^@page NEXT' "$work/transcript" && break
    sleep 0.1
done
kill -9 "$pid"
wait "$pid" 2>/dev/null
exec 3>&-
grep -q '^@page NEXT' "$work/transcript" || fail "terminal player did not reach the second page: $(cat "$work/transcript")"
[[ $(sed -n 2p "$work/project/TALE.V01" | tr -d '\r') == NEXT ]] ||
    fail "the page the reader reached is not in the slot: $(sed -n 2p "$work/project/TALE.V01")"

exit $failed
