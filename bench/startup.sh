#!/usr/bin/env bash
# Start-up to the first painted page: vrk3 opening a project from the command line (slot 1
# already played, the slot picker answered with Enter by answer_picker) against a bare Qt 6
# window showing a label, interleaved under one virtual X server; then the resident memory of
# each with its page on screen, and vrk3's processor time while a complete page stays on show.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]        (default: build, 7 runs each, at least 5)
#
# Both programs print the wall-clock time through one probe (bench/startup/first_frame_probe.h;
# vrk3 gets it through the start-up hook vrk_startup_hook.so, loaded into it with LD_PRELOAD),
# once the window update that painted their first frame has flushed it to the display; the
# time is taken from just before exec (for vrk3, once its reader is watching). A start that
# fails (no display, a crash, a hang, no probe line) is tried again up to twice and otherwise
# counted as a failure: the script then ends with status 1 and records no figure for it.
# Prints every run, then the minimum and median of each program and their ratios.
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
if ((runs < 5)); then
    echo "at least 5 runs each: using 5" >&2
    runs=5
fi
vrk3=$build/src/main/vrk3
vrkc=$build/tools/vrkc/vrkc
bare=$build/bench/startup/bare_window
answer=$build/bench/startup/answer_picker
hook=$build/bench/startup/vrk_startup_hook.so
for program in "$vrk3" "$vrkc" "$bare" "$answer" "$hook"; do
    [[ -x $program ]] || { echo "missing $program (build with -DVRK_BUILD_BENCH=ON)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$work/run"
# Seconds a start may take before it counts as hung.
limit=30
# One line per failed start or measurement (starts are timed in subshells).
failures=$work/failures
: >"$failures"

# A project NAME whose first page has LINES lines, with the defaults block of the golden
# stories (which captions the slot picker "保存"); slot 1 played once in the terminal.
make_project() {
    local name=$1 lines=$2 i
    {
        echo '*START'
        for i in $(seq 1 "$lines"); do
            echo "吾輩は猫である。名前はまだ無い。これは${i}行目。"
        done
        printf '?\n次へ\nSTART\n?END\n'
        sed -n '/^\*VRKALTER/,$p' "$here/../tests/golden/quick_save_load/story.txt"
    } >"$work/$name.txt"
    "$vrkc" --slots "$work/$name.txt" "$work/$name" >/dev/null || { echo "vrkc failed" >&2; exit 2; }
    printf ':quit\n' | (cd "$work" && "$vrk3" --headless --slot 1 "$work/$name.VRK" >/dev/null 2>&1) || true
}
make_project BENCH 20
make_project IDLE 1

# Waits until a line matching PATTERN is in FILE; false if process PID ends first or SECONDS
# pass (checking every INTERVAL seconds).
wait_for_line() {
    local pattern=$1 file=$2 pid=$3 seconds=$4 interval=$5 i tries
    tries=$(awk -v s="$seconds" -v i="$interval" 'BEGIN {print int(s / i)}')
    for ((i = 0; i < tries; i++)); do
        grep -q "$pattern" "$file" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep "$interval"
    done
    return 1
}

# Starts the reader that answers vrk3's picker (sets $answerer) and waits until it watches the
# display, so that its own start is not counted in vrk3's.
start_answerer() {
    : >"$work/answerer.out"
    "$answer" 保存 "$limit" >"$work/answerer.out" 2>>"$log" &
    answerer=$!
    wait_for_line '^ready' "$work/answerer.out" "$answerer" 5 0.01
}

# Starts PROGRAM (vrk3 opens PROJECT, its picker answered by the reader already started) with
# VRK_STARTUP_PROBE=$probe; sets $pid.
start_program() {
    local program=$1 probe=$2 project=${3:-BENCH}
    if [[ $program == vrk3 ]]; then
        VRK_STARTUP_PROBE=$probe LD_PRELOAD=$hook "$vrk3" "$work/$project.VRK" 2>>"$log" &
    else
        VRK_STARTUP_PROBE=$probe "$bare" 2>>"$log" &
    fi
    pid=$!
}

# Sets $log and, for vrk3, starts its reader ($answerer); false if the reader did not start.
prepare() {
    log=$work/probe.$1.log
    : >"$log"
    answerer=
    if [[ $1 == vrk3 ]] && ! start_answerer; then
        echo "vrk3: the picker's reader did not start:" >&2
        sed 's/^/    /' "$log" >&2
        return 1
    fi
}

# Starts PROGRAM with its reader, for a measurement that is not timed from exec.
launch() {
    prepare "$1" || return 1
    start_program "$@"
}

# One start: prints the microseconds from exec to the first painted page, or fails. The clock
# starts once vrk3's reader is watching.
try_once() {
    local program=$1 start end status
    prepare "$program" || return 1
    start=$(date +%s%N)
    start_program "$program" 1
    timeout_kill "$pid" &
    local watchdog=$!
    wait "$pid"
    status=$?
    kill "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    if [[ -n $answerer ]]; then
        kill "$answerer" 2>/dev/null
        wait "$answerer" 2>/dev/null
    fi
    end=$(sed -n 's/^first-page \([0-9]*\)$/\1/p' "$log" | head -1)
    if ((status != 0)) || [[ -z $end ]] || ((end <= start)); then
        echo "$program: failed start (exit status $status):" >&2
        sed 's/^/    /' "$log" >&2
        return 1
    fi
    # The phases (VRK_STARTUP_PROBE's "mark" lines), in microseconds since exec.
    awk -v s="$start" -v p="$program" '$1 == "mark" {print p, $2, int(($3 - s) / 1000)}
        $1 == "first-page" {print p, "page-painted", int(($2 - s) / 1000)}' "$log" >>"$work/phases.txt"
    echo $(((end - start) / 1000))
}

# Kills PID after $limit seconds (a start that hangs).
timeout_kill() {
    local i
    for ((i = 0; i < limit * 10; i++)); do
        kill -0 "$1" 2>/dev/null || return
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null
}

# Up to three tries; a start that still fails is counted and prints nothing.
run_once() {
    local try
    for try in 1 2 3; do
        try_once "$1" && return
    done
    echo "$1 start" >>"$failures"
    return 1
}

# Waits until the page has been painted; false if the program ended or hung first.
wait_first_page() {
    wait_for_line '^first-page ' "$log" "$pid" "$limit" 0.05
}

stop() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if [[ -n $answerer ]]; then
        kill "$answerer" 2>/dev/null
        wait "$answerer" 2>/dev/null
    fi
    return 0
}

# Resident memory (KiB) with the first page on screen.
resident() {
    if ! launch "$1" stay || ! wait_first_page; then
        echo "$1: no first page for the memory figure" >&2
        sed 's/^/    /' "$log" >&2
        stop
        return 1
    fi
    sleep 0.5
    awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"
    stop
}

# Processor time of every thread of PID in nanoseconds.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s + 0}'
}

ms() {  # a microsecond figure in ms, or "failed" for none
    if [[ -n $1 ]]; then awk -v x="$1" 'BEGIN {printf "%.1f ms", x / 1000}'; else echo failed; fi
}

stats() {  # min and median of microsecond figures, in ms
    sort -n | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.1f %.1f\n", a[1]/1000, m/1000}'
}

: >"$work/bare.txt"
: >"$work/vrk3.txt"
run_once bare_window >/dev/null  # warm the file cache for both
run_once vrk3 >/dev/null
: >"$work/phases.txt"
for i in $(seq 1 "$runs"); do
    b=$(run_once bare_window) && echo "$b" >>"$work/bare.txt"
    v=$(run_once vrk3) && echo "$v" >>"$work/vrk3.txt"
    printf 'run %d: bare_window %s, vrk3 %s\n' "$i" "$(ms "$b")" "$(ms "$v")"
done
if [[ -s $work/bare.txt && -s $work/vrk3.txt ]]; then
    read -r bmin bmed < <(stats <"$work/bare.txt")
    read -r vmin vmed < <(stats <"$work/vrk3.txt")
    echo "start-up to first painted page (ms): bare_window min $bmin median $bmed ($(wc -l <"$work/bare.txt") runs);" \
        "vrk3 min $vmin median $vmed ($(wc -l <"$work/vrk3.txt") runs)"
    awk -v a="$vmin" -v b="$bmin" -v c="$vmed" -v d="$bmed" 'BEGIN {printf "ratio vrk3/bare: min %.2f, median %.2f\n", a/b, c/d}'
fi

if [[ -s $work/phases.txt ]]; then
    echo "where the time goes (median ms since exec, over every run):"
    awk '{key = $1 " " $2; n[key]++; v[key, n[key]] = $3; if (!(key in seen)) {seen[key] = 1; order[++k] = key}}
         END {for (i = 1; i <= k; i++) {p = order[i]; m = n[p]
                  for (a = 1; a <= m; a++) x[a] = v[p, a]
                  for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (x[b] < x[a]) {t = x[a]; x[a] = x[b]; x[b] = t}
                  split(p, part, " ")
                  printf "  %-12s %-22s %6.1f\n", part[1], part[2], ((m % 2) ? x[(m + 1) / 2] : (x[m / 2] + x[m / 2 + 1]) / 2) / 1000}}' \
        "$work/phases.txt"
fi

if brss=$(resident bare_window) && vrss=$(resident vrk3); then
    echo "resident memory with the page on screen (MiB): bare_window $((brss / 1024)), vrk3 $((vrss / 1024)), difference $(((vrss - brss) / 1024))"
else
    echo memory >>"$failures"
fi

# Idle: a one-line page, revealed within about three seconds, then left alone; the processor
# time of 10 s after that.
if launch vrk3 stay IDLE && wait_first_page; then
    sleep 5
    t0=$(cpu_ns "$pid")
    sleep 10
    t1=$(cpu_ns "$pid")
    if kill -0 "$pid" 2>/dev/null; then
        awk -v d="$((t1 - t0))" 'BEGIN {printf "idle processor time with a complete page on show: %.3f %% of a core (%.1f ms in 10 s)\n", d / 1e8, d / 1e6}'
    else
        echo "vrk3 ended during the idle measurement" >&2
        echo idle >>"$failures"
    fi
else
    echo "vrk3: no first page for the idle figure" >&2
    sed 's/^/    /' "$log" >&2
    echo idle >>"$failures"
fi
stop

if [[ -s $failures ]]; then
    echo "FAILED: $(wc -l <"$failures") start(s) or measurement(s) failed" >&2
    exit 1
fi
