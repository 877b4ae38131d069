#!/usr/bin/env bash
# Plays the same stories through two terminal players (the native vrk3 and the WebAssembly
# one under node) and compares what they print and the slot bytes they leave behind.
#
#   compare_players.sh VRKC PLAYER_A PLAYER_B CASE_DIR...
#
# Each CASE_DIR is laid out as a golden case (story.txt or story.sjis, input.txt, optionally
# input2.txt and extra/); each player gets its own fresh copy of the compiled project.

set -u
if (($# < 4)); then
    echo "usage: $0 VRKC PLAYER_A PLAYER_B CASE_DIR..." >&2
    exit 2
fi
vrkc=$(realpath "$1")
players=("$(realpath "$2")" "$(realpath "$3")")
shift 3

play() {  # play PLAYER CASE_DIR WORK: the transcript, with the work directory shown as <project>/
    local player=$1 case_dir=$2 work=$3 input transcript status
    local source=(--slots "$case_dir/story.txt")
    [[ -f $case_dir/story.sjis ]] && source=(--slots --sjis "$case_dir/story.sjis")
    "$vrkc" "${source[@]}" "$work/GOLD" || return 1
    if [[ -d $case_dir/extra ]]; then
        cp -R "$case_dir/extra/." "$work/"
    fi
    for input in "$case_dir/input.txt" "$case_dir/input2.txt"; do
        [[ -f $input ]] || continue
        [[ $input == */input2.txt ]] && echo "@reopen"
        transcript=$(cd "$work" && HOME="$work" XDG_DATA_HOME="$work/data" \
            "$player" --headless --seed 1 "$work/GOLD.VRK" <"$input" 2>>"$work/../stderr-$(basename "$work").txt")
        status=$?
        printf '%s\n@exit %d\n' "${transcript//"$work/"/<project>/}" "$status"
    done
    return 0
}

passed=0
failed=0
for case_dir in "$@"; do
    case_dir=$(cd "$case_dir" && pwd)
    name=$(basename "$case_dir")
    root=$(mktemp -d)
    mkdir "$root/a" "$root/b"
    ok=1
    if ! play "${players[0]}" "$case_dir" "$root/a" >"$root/a.txt" ||
        ! play "${players[1]}" "$case_dir" "$root/b" >"$root/b.txt"; then
        echo "$name: the story does not compile" >&2
        ok=0
    elif ! diff -u "$root/a.txt" "$root/b.txt"; then
        echo "$name: transcripts differ" >&2
        cat "$root"/stderr-*.txt >&2 2>/dev/null
        ok=0
    fi
    for slot in "$root"/a/GOLD.V0? "$root"/a/GOLD.VR\$; do
        [[ -e $slot ]] || continue
        if ! cmp -s "$slot" "$root/b/$(basename "$slot")"; then
            echo "$name: $(basename "$slot") differs" >&2
            ok=0
        fi
    done
    if ((ok)); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    rm -rf "$root"
done
echo "players: $passed passed, $failed failed"
((failed == 0))
