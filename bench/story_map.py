#!/usr/bin/env python3
"""The story map of the largest story an index can name: 8 002 labels (8 001 pages and the
defaults block), drawn by vrkc --map into .svg and into .dot. Prints, for each, the wall time,
the peak resident memory of vrkc and the size of what it wrote (the median of RUNS runs).

    bench/story_map.py [--vrkc FILE] [--pages N] [--runs N] [--seed N] [--keep DIR]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CAPTIONS = ["進む", "戻る", "右の道へ", "左の道へ", "扉を開ける", "%1と話す", "眠る", "手紙を読む"]


def generate_story(pages, rng):
    """Pages with three or four choices each: forward and backward targets, conditional choices
    and targets, @NOWAIT hops, endings, and a few targets that are not in the index."""
    names = ["P%05d" % p for p in range(1, pages + 1)]
    out = []
    for p, name in enumerate(names):
        out.append("*" + name)
        out.append("!%03d" % rng.randint(1, 999))
        roll = rng.random()
        if 0.03 <= roll < 0.08 and p < pages - 1:
            out.append("@NOWAIT")
            out.append("（読まれない行）")
            out.append("?%03d,%s" % (rng.randint(1, 999), rng.choice(names)))
            out.append(names[p + 1])
            continue
        out.append(">COL=%d" % rng.randint(0, 15))
        for line in range(rng.randint(2, 6)):
            out.append("頁%dの%d行目。%%1は歩いた。" % (p + 1, line + 1))
        if roll < 0.03 or p == pages - 1:
            out.append("/")
            continue
        for c in range(rng.randint(3, 4)):
            out.append("?" if c == 0 or rng.random() < 0.7 else "?%03d" % rng.randint(1, 999))
            out.append(rng.choice(CAPTIONS))
            if rng.random() < 0.1:
                out.append("?A=%s,%s" % (rng.choice("BCD"), rng.choice(names)))
            near = names[min(p + 1 + rng.randrange(5), pages - 1)]
            out.append(near if rng.random() < 0.8 else rng.choice(names))
        if rng.random() < 0.005:
            out.append("?")
            out.append("行き止まり")
            out.append("NOWHERE")
        out.append("?END")
    out.append("*VRKALTER")
    out += ["名前", "太郎"] + ["????"] * 16 + ["題名"]
    return "\n".join(out) + "\n"


def run_measured(command):
    """Runs one command; its wall time in seconds and peak resident memory in MiB."""
    start = time.monotonic()
    pid = os.fork()
    if pid == 0:
        os.execv(command[0], command)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("story_map: %s failed with status %d" % (" ".join(command), os.waitstatus_to_exitcode(status)))
    return elapsed, usage.ru_maxrss / 1024


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--vrkc", default=os.path.join(here, "..", "build", "tools", "vrkc", "vrkc"))
    ap.add_argument("--pages", type=int, default=8001)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--keep", help="leave the story and the maps in this folder")
    a = ap.parse_args()
    work = a.keep or tempfile.mkdtemp(prefix="vrk-map-")
    os.makedirs(work, exist_ok=True)
    try:
        source = os.path.join(work, "big.txt")
        with open(source, "w", encoding="utf-8") as f:
            f.write(generate_story(a.pages, random.Random(a.seed)))
        subprocess.run([a.vrkc, source, os.path.join(work, "BIG")], check=True)
        print("story: %d labels (%d pages and VRKALTER), %d bytes of script" %
              (a.pages + 1, a.pages, os.path.getsize(os.path.join(work, "BIG.VRK"))))
        for extension in ("svg", "dot"):
            out = os.path.join(work, "big." + extension)
            times, peaks = [], []
            for _ in range(a.runs):
                elapsed, peak = run_measured([a.vrkc, "--map", os.path.join(work, "BIG.VRK"), out])
                times.append(elapsed)
                peaks.append(peak)
            print("--map .%s: %.2f s (min %.2f), peak RSS %.0f MiB, output %.1f MiB" %
                  (extension, statistics.median(times), min(times), statistics.median(peaks),
                   os.path.getsize(out) / (1 << 20)))
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
