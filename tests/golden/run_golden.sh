#!/usr/bin/env bash
# Plays golden cases through the terminal player and compares the transcripts.
#
#   run_golden.sh [--rebaseline] VRKC VRK3 CASE_DIR...
#
# Each CASE_DIR holds story.txt (vrkc source; story.sjis instead for a source in raw
# Shift-JIS, which can hold bytes UTF-8 cannot), input.txt (what the reader types) and
# expected.txt (the transcript). The story is compiled with fresh slots into a temporary
# directory, together with the files of the case's extra/ folder when it has one, and
# played with a fixed seed. When the case also has input2.txt, the player is started a
# second time on the same project with that input, after the line "@reopen". The temporary directory is shown as "<project>/" so that
# transcripts naming project files do not depend on where it was made. The exit code
# ends the transcript. When the case has slot-lines (line numbers, one a line), those lines of
# the first slot as the runs left it follow, as "@slot N: TEXT" in UTF-8 with the temporary
# directory shown the same way. --rebaseline writes expected.txt instead of comparing.

set -u

rebaseline=0
if [[ ${1:-} == --rebaseline ]]; then
    rebaseline=1
    shift
fi
if (($# < 3)); then
    echo "usage: $0 [--rebaseline] VRKC VRK3 CASE_DIR..." >&2
    exit 2
fi
vrkc=$(realpath "$1")
vrk3=$(realpath "$2")
shift 2

failed=0
for case_dir in "$@"; do
    case_dir=$(cd "$case_dir" && pwd)
    name=$(basename "$case_dir")
    work=$(mktemp -d)
    source=(--slots "$case_dir/story.txt")
    [[ -f $case_dir/story.sjis ]] && source=(--slots --sjis "$case_dir/story.sjis")
    if ! "$vrkc" "${source[@]}" "$work/GOLD"; then
        echo "$name: the story does not compile" >&2
        failed=1
        rm -rf "$work"
        continue
    fi
    if [[ -d $case_dir/extra ]]; then
        cp -R "$case_dir/extra/." "$work/"
    fi
    : >"$work/actual.txt"
    for input in "$case_dir/input.txt" "$case_dir/input2.txt"; do
        [[ -f $input ]] || continue
        [[ $input == */input2.txt ]] && echo "@reopen" >>"$work/actual.txt"
        # HOME and XDG_DATA_HOME point inside the case, so no save can land anywhere else.
        transcript=$(cd "$work" && HOME="$work" XDG_DATA_HOME="$work/data" \
            "$vrk3" --headless --seed 1 "$work/GOLD.VRK" <"$input" 2>>"$work/stderr.txt")
        status=$?
        printf '%s\n@exit %d\n' "${transcript//"$work/"/<project>/}" "$status" >>"$work/actual.txt"
    done
    if [[ -f $case_dir/slot-lines ]]; then
        while read -r number; do
            [[ -n $number ]] || continue
            text=$(sed -n "${number}p" "$work/GOLD.V01" | tr -d '\r' | iconv -c -f CP932 -t UTF-8)
            printf '@slot %s: %s\n' "$number" "${text//"$work/"/<project>/}" >>"$work/actual.txt"
        done <"$case_dir/slot-lines"
    fi

    if ((rebaseline)); then
        cp "$work/actual.txt" "$case_dir/expected.txt"
        echo "$name: rebaselined"
    elif ! diff -u "$case_dir/expected.txt" "$work/actual.txt"; then
        echo "$name: transcript differs (standard error follows)" >&2
        cat "$work/stderr.txt" >&2
        failed=1
    fi
    rm -rf "$work"
done
exit $failed
