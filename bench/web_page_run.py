#!/usr/bin/env python3
"""A page run in WebAssembly against the native engine.

Plays the same story through the native terminal player and the WebAssembly one under node:
a story of one page, and a story that loops through PAGES pages of 20 lines (each ending in a
single choice that Enter takes). Runs are interleaved; a page's time is the difference of the
two stories' medians divided by PAGES, so that start-up (node and wasm compilation among it)
drops out.

    bench/web_page_run.py [BUILD_DIR] [RUNS] [PAGES]     (defaults: build 5 2000)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'build'))
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
pages = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
vrkc = os.path.join(build, 'tools', 'vrkc', 'vrkc')
players = {
    'native': [os.path.join(build, 'src', 'main', 'vrk3')],
    'wasm': ['node', '--no-experimental-fetch', os.path.join(root, 'web', 'dist', 'vrk3.mjs')],
}
for path in (vrkc, players['native'][0], players['wasm'][2]):
    if not os.path.exists(path):
        sys.exit(f'web_page_run: {path} is missing (make build web)')

LOOP = '*START\n!D+\n' + ''.join(f'{n}行目：こころ静かに頁を繰る。\n' for n in range(1, 21)) + \
    '?\n次へ\nSTART\n?END\n*VRKALTER\n' + '????\n' * 18 + '終わり\n'


def project(work, name, source):
    os.makedirs(work)
    with open(os.path.join(work, 'story.txt'), 'w', encoding='utf-8') as f:
        f.write(source)
    subprocess.run([vrkc, '--slots', os.path.join(work, 'story.txt'), os.path.join(work, name)], check=True)
    return os.path.join(work, name + '.VRK')


def play(player, project_file, enters):
    work = os.path.dirname(project_file)
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=os.path.join(work, 'data'))
    feed = ('\n' * enters + ':quit\n').encode()
    start = time.perf_counter()
    done = subprocess.run(players[player] + ['--headless', '--seed', '1', project_file], input=feed, env=env,
                          cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0 or done.stdout.count(b'@page') < enters:
        sys.exit(f'web_page_run: {player} failed ({done.returncode}): {done.stderr.decode(errors="replace")}')
    return elapsed


# Both players write the slot after every page; on a disk the native one waits for fsync each
# time and the node one does not, so the stories live in memory to time the engines alone.
with tempfile.TemporaryDirectory(dir='/dev/shm' if os.path.isdir('/dev/shm') else None) as tmp:
    times = {(p, n): [] for p in players for n in (0, pages)}
    for run in range(runs):
        for player in players:
            for enters in (0, pages):
                # Fresh slots each time: every run starts from the same first page.
                story = project(os.path.join(tmp, f'{player}-{enters}-{run}'), 'LOOP', LOOP)
                times[(player, enters)].append(play(player, story, enters))
    per_page = {}
    for player in players:
        short = statistics.median(times[(player, 0)])
        long = statistics.median(times[(player, pages)])
        per_page[player] = (long - short) / pages
        print(f'{player:6} start-up {short * 1e3:8.1f} ms   {pages} pages {long * 1e3:8.1f} ms   '
              f'per page {per_page[player] * 1e6:7.1f} us   (median of {runs})')
    print(f'wasm / native per page: {per_page["wasm"] / per_page["native"]:.2f}')
