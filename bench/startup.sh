#!/usr/bin/env bash
# Start-up to the first painted page: vrk3 opening a project from the command line (slot 1
# already played, the slot picker answered with Enter by this script) against a bare Qt 6
# window showing a label, interleaved under one virtual X server; then the resident memory of
# each with its page on screen.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]        (default: build, 7 runs each)
#
# Both programs print the wall-clock time once their first frame is painted; the time is
# taken from just before exec. Prints every run, then minimum and median of each and ratios.
set -uo pipefail

if [[ ${1:-} != --inner ]]; then
    build=$(realpath "${1:-build}")
    runs=${2:-7}
    here=$(cd "$(dirname "$0")" && pwd)
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/startup.sh" --inner "$build" "$runs" "$here"
fi

build=$2
runs=$3
here=$4
vrk3=$build/src/main/vrk3
vrkc=$build/tools/vrkc/vrkc
bare=$build/bench/startup/bare_window
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$work/run"

# A story whose first page has 20 lines, with the defaults block of the golden stories.
{
    echo '*START'
    for i in $(seq 1 20); do
        echo "吾輩は猫である。名前はまだ無い。これは${i}行目。"
    done
    printf '?\n次へ\nSTART\n?END\n'
    sed -n '/^\*VRKALTER/,$p' "$here/../tests/golden/quick_save_load/story.txt"
} >"$work/story.txt"
"$vrkc" --slots "$work/story.txt" "$work/BENCH" >/dev/null
printf ':quit\n' | (cd "$work" && "$vrk3" --headless --slot 1 "$work/BENCH.VRK" >/dev/null 2>&1) || true

# Presses Enter in the slot picker (captioned "保存" by the story's defaults block) as soon as
# it is there, again until it has gone (a key can arrive before the dialog takes input).
answer_picker() {
    local pid=$1 window candidate seen=0
    for _ in $(seq 1 4000); do
        window=
        for candidate in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
            [[ $(xdotool getwindowname "$candidate" 2>/dev/null) == 保存 ]] && window=$candidate
        done
        if [[ -n $window ]]; then
            seen=1
            xdotool windowfocus --sync "$window" key --clearmodifiers Return 2>/dev/null
        elif ((seen)); then
            return
        fi
        kill -0 "$pid" 2>/dev/null || return
    done
}

# One start: prints the milliseconds from exec to the first painted page.
run_once() {
    local program=$1 start end log=$work/probe.log
    start=$(date +%s%N)
    if [[ $program == vrk3 ]]; then
        VRK_STARTUP_PROBE=1 "$vrk3" "$work/BENCH.VRK" 2>"$log" &
        local pid=$!
        answer_picker "$pid" &
        wait "$pid" || true
        wait || true
    else
        VRK_STARTUP_PROBE=1 "$bare" 2>"$log" || true
    fi
    end=$(sed -n 's/^first-page //p' "$log")
    [[ -n $end ]] || { echo "$program: no first page" >&2; cat "$log" >&2; exit 1; }
    echo $(((end - start) / 1000))
}

# Resident memory (KiB) with the first page on screen.
resident() {
    local program=$1 log=$work/stay.log pid
    : >"$log"
    if [[ $program == vrk3 ]]; then
        VRK_STARTUP_PROBE=stay "$vrk3" "$work/BENCH.VRK" 2>"$log" &
        pid=$!
        answer_picker "$pid"
    else
        VRK_STARTUP_PROBE=stay "$bare" 2>"$log" &
        pid=$!
    fi
    until grep -q first-page "$log"; do sleep 0.05; done
    sleep 0.5
    awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

stats() {  # min and median of microsecond figures, in ms
    sort -n | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.1f %.1f\n", a[1]/1000, m/1000}'
}

: >"$work/bare.txt"
: >"$work/vrk3.txt"
run_once bare_window >/dev/null  # warm the file cache for both
run_once vrk3 >/dev/null
for i in $(seq 1 "$runs"); do
    b=$(run_once bare_window)
    v=$(run_once vrk3)
    echo "run $i: bare_window $((b / 1000)).$(((b % 1000) / 100)) ms, vrk3 $((v / 1000)).$(((v % 1000) / 100)) ms"
    echo "$b" >>"$work/bare.txt"
    echo "$v" >>"$work/vrk3.txt"
done
read -r bmin bmed < <(stats <"$work/bare.txt")
read -r vmin vmed < <(stats <"$work/vrk3.txt")
echo "start-up to first painted page (ms): bare_window min $bmin median $bmed; vrk3 min $vmin median $vmed"
awk -v a="$vmin" -v b="$bmin" -v c="$vmed" -v d="$bmed" 'BEGIN {printf "ratio vrk3/bare: min %.2f, median %.2f\n", a/b, c/d}'

brss=$(resident bare_window)
vrss=$(resident vrk3)
echo "resident memory with the page on screen (MiB): bare_window $((brss / 1024)), vrk3 $((vrss / 1024)), difference $(((vrss - brss) / 1024))"
