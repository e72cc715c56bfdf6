#!/usr/bin/env python3
"""Times whole runs of rawhist against the literal build of the same steps.

Usage: bench/compare_whole_process.py [BUILD_DIR] [RUNS]
  BUILD_DIR  a build tree holding rawhist, rawhist_literal and
             rawhist_make_frame (default: build/dev)
  RUNS       timed runs of each program per frame (default: 31)

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


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/dev"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 31
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
