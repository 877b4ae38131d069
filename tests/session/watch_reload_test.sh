#!/usr/bin/env bash
# vrk3 --watch as an author meets it: the window plays a source, the source is saved again (by a
# rename, as most editors save, and by writing the file in place), and the page shows the new
# text without a key; a source that does not compile is told and the story goes on. The page is
# read through VRK3_PRINT_PAGES, which makes the window print every page it shows.
#
#   watch_reload_test.sh VRK3
set -u
if [[ -z ${VRK_WATCH_UNDER_X:-} ]]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "watch_reload: no xvfb-run here (scripts/install-deps installs it); skipped"
        exit 77
    fi
    exec xvfb-run -a env VRK_WATCH_UNDER_X=1 bash "$0" "$@"
fi
vrk3=$(realpath "$1")
work=$(mktemp -d)
pid=
trap '[[ -n $pid ]] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

mkdir -p "$work/source" "$work/program" "$work/tmp"
# A copy of the program of our own: its saves and settings stay in the work folder.
cp "$vrk3" "$(dirname "$vrk3")/vrk3-window.so" "$work/program/"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work" TMPDIR="$work/tmp"
export SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb VRK3_PRINT_PAGES=1

story() {
    printf '*START\n%s\n?\non\nNEXT\n?END\n*NEXT\nsecond page\n?\nback\nSTART\n?END\n*VRKALTER\n' "$1"
    printf 'name\nhero\n'
    for _ in $(seq 16); do printf '????\n'; done
    printf 'Title\n'
}
source="$work/source/story.txt"
story "first page" >"$source"

"$work/program/vrk3" --watch "$source" </dev/null >"$work/out" 2>"$work/err" &
pid=$!

# Waits up to 20 s for a line of what the window printed.
seen() {
    for _ in $(seq 200); do
        grep -qxF -- "$1" "$work/out" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}

seen "| first page" || fail "the first page was not shown: $(cat "$work/out" "$work/err")"

story "saved by a rename" >"$source.new"
mv "$source.new" "$source"
seen "| saved by a rename" || fail "a save by a rename was not played: $(cat "$work/out")"

printf '*START\nfine\n/\n*LONGERTHAN8\nno\n/\n' >"$source"
seen "@watch-fault 4 a label name must have 1 to 8 bytes" || fail "the fault was not told: $(cat "$work/out")"

story "saved in place" >"$source"
seen "| saved in place" || fail "a save in place after a fault was not played: $(cat "$work/out")"
[[ $(grep -c '^@page ' "$work/out") == 3 ]] || fail "the fault ran a page: $(cat "$work/out")"

kill -TERM "$pid"
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
wait "$pid"
status=$?
pid=
((status == 0)) || fail "exit status $status: $(cat "$work/err")"
# (Qt may keep a runtime folder of its own there too.)
! compgen -G "$work/tmp/vrk3-watch-*" >/dev/null || fail "the compiled story was left behind: $(ls -A "$work/tmp")"
[[ $(ls -A "$work/source") == story.txt ]] || fail "files beside the source: $(ls -A "$work/source")"
ls "$work/program"/story-*/story.V01 >/dev/null 2>&1 || fail "no saves where a story's saves go"

exit $failed
