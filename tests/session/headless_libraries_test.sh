#!/usr/bin/env bash
# The terminal player loads none of the window's libraries: not at start, and not while it plays
# a page, even with a display at hand. The dynamic loader's own log (LD_DEBUG=libs) names every
# library the process opens, whether linked or loaded later.
#
#   headless_libraries_test.sh VRKC VRK3
set -u
vrkc=$(realpath "$1")
vrk3=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# A one-page story with the defaults block of the golden stories.
{
    printf '*START\nfirst page\n?\non\nSTART\n?END\n'
    sed -n '/^\*VRKALTER/,$p' "$(dirname "$0")/../golden/quick_save_load/story.txt"
} >"$work/story.txt"
"$vrkc" --slots "$work/story.txt" "$work/TALE" >/dev/null || { echo "FAIL: vrkc" >&2; exit 1; }

# DISPLAY is set on purpose: --headless must win over a display that is there.
printf '\n:quit\n' | (cd "$work" && HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    DISPLAY=:0 LD_DEBUG=libs "$vrk3" --headless "$work/TALE.VRK" >"$work/out.txt" 2>"$work/loader.txt")
status=$?
((status == 0)) || fail "vrk3 --headless ended with status $status"
grep -q 'first page' "$work/out.txt" || fail "the page was not played: $(cat "$work/out.txt")"
# The loader must have been logging, or the check below proves nothing.
grep -q 'calling init:.*libc\.so' "$work/loader.txt" || fail "LD_DEBUG=libs gave no log"
loaded=$(sed -n 's/.*calling init: //p' "$work/loader.txt" | sort -u)
for library in libQt6Gui libQt6Widgets libQt6Core libSDL2 libfluidsynth libxcb libX11 vrk3-window vrk3-sound-sdl; do
    if grep -q "$library" <<<"$loaded"; then
        fail "the terminal player loaded $library"
    fi
done
# Without a display and without --headless it falls back to the terminal, as lightly.
printf ':quit\n' | (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=$work LD_DEBUG=libs \
    "$vrk3" "$work/TALE.VRK" >/dev/null 2>"$work/loader2.txt")
if sed -n 's/.*calling init: //p' "$work/loader2.txt" | grep -q 'libQt6'; then
    fail "the terminal player without a display loaded Qt"
fi
exit $failed
