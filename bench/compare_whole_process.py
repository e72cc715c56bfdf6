#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times whole runs of rawhist against the literal build of the same steps.

Usage: bench/compare_whole_process.py [--read-strategies] [BUILD_DIR] [RUNS]
  BUILD_DIR  a build tree holding rawhist, rawhist_literal,
             rawhist_make_frame and rawhist_read_strategy (default: build/dev)
  RUNS       timed runs of each program per frame (default: 31)
  --read-strategies
             instead, time reading a whole frame into a buffer obtained by
             malloc, by a huge-page mapping, by MAP_POPULATE and by a
             pre-faulted huge-page mapping, at 1, 16.6, 64 and 256 MB

Frames are written to a temporary directory and read once before timing, so
every run finds them in the page cache. The two programs run alternately, so
a noisy neighbour slows both alike; the table gives the median and the worst
run of each, frame bytes per second of the median, and the ratio of medians.
Both programs must print the same line, or the script stops.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

FRAMES = [
    # (label, kind, format word, bytes)
    ("1 MB grey pattern", "pattern", "grey", 1_000_000),
    ("16.6 MB grey pattern", "pattern", "grey", 16_588_800),
    ("16.6 MB uyvy pattern", "pattern", "uyvy", 16_588_800),
    ("16.6 MB grey noisy", "noisy", "grey", 16_588_800),
    ("16.6 MB uyvy noisy", "noisy", "uyvy", 16_588_800),
    ("16.6 MB grey random", "random", "grey", 16_588_800),
    ("16.6 MB uyvy random", "random", "uyvy", 16_588_800),
    ("64 MB grey pattern", "pattern", "grey", 67_108_864),
    ("64 MB uyvy noisy", "noisy", "uyvy", 67_108_864),
    ("256 MB uyvy noisy", "noisy", "uyvy", 268_435_456),
]


def output_of(command):
    return subprocess.run(command, stdout=subprocess.PIPE, check=True).stdout


def timed(command, null):
    """Seconds from spawn to exit, standard output to /dev/null. posix_spawn
    keeps the harness's own share of each run small and equal for both."""
    start = time.perf_counter()
    pid = os.posix_spawn(command[0], command, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(command)} failed")
    return elapsed


STRATEGIES = ["malloc", "huge", "populate", "huge-populate"]


def compare_read_strategies(build, runs):
    maker = os.path.join(build, "rawhist_make_frame")
    reader = os.path.join(build, "rawhist_read_strategy")
    null = os.open(os.devnull, os.O_WRONLY)
    print(f"{'frame':10}" + "".join(f"{name + ' ms':>22}" for name in STRATEGIES))
    print(f"{'':10}" + "".join(f"{'median / worst':>22}" for _ in STRATEGIES))
    with tempfile.TemporaryDirectory() as folder:
        for size in (1_000_000, 16_588_800, 67_108_864, 268_435_456):
            path = os.path.join(folder, "frame.raw")
            subprocess.run([maker, "random", "grey", str(size), path], check=True)
            output_of([reader, "malloc", path])
            times = {name: [] for name in STRATEGIES}
            for _ in range(runs):
                for name in STRATEGIES:
                    times[name].append(timed([reader, name, path], null))
            cells = "".join(f"{statistics.median(t) * 1e3:12.2f} / {max(t) * 1e3:7.2f}" for t in times.values())
            print(f"{size / 1e6:7.1f} MB{cells}")
            os.remove(path)


def main():
    args = sys.argv[1:]
    strategies = "--read-strategies" in args
    args = [a for a in args if a != "--read-strategies"]
    build = args[0] if args else "build/dev"
    runs = int(args[1]) if len(args) > 1 else 31
    if strategies:
        compare_read_strategies(build, runs)
        return
    tool = os.path.join(build, "rawhist")
    literal = os.path.join(build, "rawhist_literal")
    maker = os.path.join(build, "rawhist_make_frame")

    print(f"{'frame':24} {'rawhist ms':>18} {'literal ms':>18} {'rawhist GB/s':>13} {'ratio':>6}")
    print(f"{'':24} {'median / worst':>18} {'median / worst':>18}")
    null = os.open(os.devnull, os.O_WRONLY)
    with tempfile.TemporaryDirectory() as folder:
        for label, kind, word, size in FRAMES:
            path = os.path.join(folder, "frame.raw")
            subprocess.run([maker, kind, word, str(size), path], check=True)
            args = ["-n", path] + (["-f", word] if word != "grey" else [])
            # Warm the page cache and check both agree.
            ours = output_of([tool] + args)
            theirs = output_of([literal] + args)
            if ours != theirs:
                sys.exit(f"{label}: rawhist printed {ours!r}, the literal build {theirs!r}")
            fast, slow = [], []
            for _ in range(runs):
                fast.append(timed([tool] + args, null))
                slow.append(timed([literal] + args, null))
            fast_median = statistics.median(fast)
            slow_median = statistics.median(slow)
            print(f"{label:24} {fast_median * 1e3:8.2f} / {max(fast) * 1e3:7.2f} "
                  f"{slow_median * 1e3:8.2f} / {max(slow) * 1e3:7.2f} "
                  f"{size / fast_median / 1e9:13.2f} {slow_median / fast_median:6.2f}")
            os.remove(path)


if __name__ == "__main__":
    main()
