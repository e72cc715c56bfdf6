#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times whole runs of rawhist against the literal build of the same steps.

Usage: bench/compare_whole_process.py [--sweep [--no-thp]] [--io-floor [--also PROGRAM]]
                                     [--read-strategies] [BUILD_DIR] [RUNS]
  BUILD_DIR  a build tree holding rawhist, rawhist_literal, rawhist_serial_floor,
             rawhist_make_frame and rawhist_read_strategy (default: build/dev)
  RUNS       timed runs of each program per frame (default: 31)
  --sweep    instead, time rawhist against the serial floor (one thread, one
             buffer, always a huge-page mapping filled by read(), the same
             kernel) on random frames from 16 bytes to 64 MiB, on both sides
             of the 4 KiB and 2 MiB boundaries and at the common frame sizes;
             ratio = floor time / rawhist time (below 1: rawhist slower)
  --baseline PROGRAM
             in the default comparison, time PROGRAM instead of the literal
             build (for instance the rawhist of an unhardened build tree)
  --io-floor instead, time rawhist against the I/O floor (the serial floor
             with --io-floor: stat, the same huge-page buffer, one read,
             close, one line out, and no counting) on random frames at the
             common sizes; ratio = rawhist time / floor time, so what is
             above 1 is the share counting adds to a run
  --also PROGRAM
             with --io-floor, time PROGRAM too (the rawhist of an older
             commit, or the static one of a release archive) in the same
             rounds, with its own ratio
  --no-thp   with --sweep: every run with transparent huge pages disabled
             for the process (prctl PR_SET_THP_DISABLE), as where they are off
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


def alternate(label, tool, other, args, runs, null):
    """Times runs of `tool` and `other` on the same arguments, taking turns
    and swapping which goes first each round, after checking (with the page
    cache warmed) that both print the same line. Returns both lists of times."""
    ours = output_of([tool] + args)
    theirs = output_of([other] + args)
    if ours != theirs:
        sys.exit(f"{label}: {tool} printed {ours!r}, {other} {theirs!r}")
    fast, base = [], []
    for i in range(runs):
        pair = [(fast, tool), (base, other)] if i % 2 == 0 else [(base, other), (fast, tool)]
        for times, program in pair:
            times.append(timed([program] + args, null))
    return fast, base


SWEEP = [
    # (label, format word, bytes)
    ("16 B", "grey", 16),
    ("4 KiB - 1", "grey", 4095),
    ("4 KiB", "grey", 4096),
    ("4 KiB + 1", "grey", 4097),
    ("64 KiB", "grey", 65_536),
    ("256 KiB", "grey", 262_144),
    ("VGA YUYV", "yuyv", 614_400),
    ("1 MiB GREY", "grey", 1_048_576),
    ("720p YUYV", "yuyv", 1_843_200),
    ("2 MiB - 1", "grey", 2_097_151),
    ("2 MiB", "grey", 2_097_152),
    ("2 MiB + 1", "grey", 2_097_153),
    ("1080p UYVY", "uyvy", 4_147_200),
    ("4K GREY", "grey", 16_588_800),
    ("4K UYVY", "uyvy", 16_588_800),
    ("64 MiB", "uyvy", 67_108_864),
]


def disable_thp():
    """Turns transparent huge pages off for this process and every child."""
    import ctypes
    pr_set_thp_disable = 41
    if ctypes.CDLL(None, use_errno=True).prctl(pr_set_thp_disable, 1, 0, 0, 0) != 0:
        sys.exit("prctl(PR_SET_THP_DISABLE) failed")


def sweep(build, runs):
    tool = os.path.join(build, "rawhist")
    floor = os.path.join(build, "rawhist_serial_floor")
    maker = os.path.join(build, "rawhist_make_frame")
    null = os.open(os.devnull, os.O_WRONLY)
    print(f"{'frame':12} {'bytes':>11} {'rawhist ms':>11} {'floor ms':>11} {'ratio':>6}")
    with tempfile.TemporaryDirectory() as folder:
        for label, word, size in SWEEP:
            path = os.path.join(folder, "frame.raw")
            subprocess.run([maker, "random", "grey", str(size), path], check=True)
            args = ["-n", path] + (["-f", word] if word != "grey" else [])
            fast, base = alternate(label, tool, floor, args, runs, null)
            ours_ms = statistics.median(fast) * 1e3
            floor_ms = statistics.median(base) * 1e3
            print(f"{label:12} {size:11,} {ours_ms:11.3f} {floor_ms:11.3f} {floor_ms / ours_ms:6.2f}")
            os.remove(path)


IO_FLOOR_FRAMES = [
    # (label, format word, bytes)
    ("16 B", "grey", 16),
    ("VGA YUYV", "yuyv", 614_400),
    ("720p YUYV", "yuyv", 1_843_200),
    ("1080p UYVY", "uyvy", 4_147_200),
    ("4K GREY", "grey", 16_588_800),
    ("4K UYVY", "uyvy", 16_588_800),
    ("64 MiB GREY", "grey", 67_108_864),
]


def io_floor(build, runs, before):
    """rawhist (and the `before` program) against the I/O floor, all in the same rounds,
    taking turns in an order that rotates each round."""
    floor = [os.path.join(build, "rawhist_serial_floor"), "--io-floor"]
    programs = [[os.path.join(build, "rawhist")]] + ([[before]] if before else [])
    maker = os.path.join(build, "rawhist_make_frame")
    null = os.open(os.devnull, os.O_WRONLY)
    header = f"{'frame':12} {'floor ms':>9} {'rawhist ms':>11} {'ratio':>6}"
    if before:
        header += f" {'also ms':>10} {'ratio':>6}"
    print(header)
    with tempfile.TemporaryDirectory() as folder:
        for label, word, size in IO_FLOOR_FRAMES:
            path = os.path.join(folder, "frame.raw")
            subprocess.run([maker, "random", "grey", str(size), path], check=True)
            args = ["-n", path] + (["-f", word] if word != "grey" else [])
            if before:
                ours, theirs = output_of(programs[0] + args), output_of(programs[1] + args)
                if ours != theirs:
                    sys.exit(f"{label}: rawhist printed {ours!r}, {before} {theirs!r}")
            output_of(floor + args)
            commands = [floor] + programs
            times = [[] for _ in commands]
            for i in range(runs):
                for k in range(len(commands)):
                    j = (i + k) % len(commands)
                    times[j].append(timed(commands[j] + args, null))
            medians = [statistics.median(t) * 1e3 for t in times]
            line = f"{label:12} {medians[0]:9.3f} {medians[1]:11.3f} {medians[1] / medians[0]:6.2f}"
            if before:
                line += f" {medians[2]:10.3f} {medians[2] / medians[0]:6.2f}"
            print(line)
            os.remove(path)


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
    sweeping = "--sweep" in args
    if "--no-thp" in args:
        disable_thp()
    before = None
    if "--also" in args:
        at = args.index("--also")
        before = args[at + 1]
        del args[at:at + 2]
    floor_mode = "--io-floor" in args
    baseline = None
    if "--baseline" in args:
        at = args.index("--baseline")
        baseline = args[at + 1]
        del args[at:at + 2]
    args = [a for a in args if a not in ("--read-strategies", "--sweep", "--no-thp", "--io-floor")]
    build = args[0] if args else "build/dev"
    runs = int(args[1]) if len(args) > 1 else 31
    if strategies:
        compare_read_strategies(build, runs)
        return
    if sweeping:
        sweep(build, runs)
        return
    if floor_mode:
        io_floor(build, runs, before)
        return
    tool = os.path.join(build, "rawhist")
    literal = baseline or os.path.join(build, "rawhist_literal")
    maker = os.path.join(build, "rawhist_make_frame")

    other = "baseline ms" if baseline else "literal ms"
    print(f"{'frame':24} {'rawhist ms':>18} {other:>18} {'rawhist GB/s':>13} {'ratio':>6}")
    print(f"{'':24} {'median / worst':>18} {'median / worst':>18}")
    null = os.open(os.devnull, os.O_WRONLY)
    with tempfile.TemporaryDirectory() as folder:
        for label, kind, word, size in FRAMES:
            path = os.path.join(folder, "frame.raw")
            subprocess.run([maker, kind, word, str(size), path], check=True)
            args = ["-n", path] + (["-f", word] if word != "grey" else [])
            fast, slow = alternate(label, tool, literal, args, runs, null)
            fast_median = statistics.median(fast)
            slow_median = statistics.median(slow)
            print(f"{label:24} {fast_median * 1e3:8.2f} / {max(fast) * 1e3:7.2f} "
                  f"{slow_median * 1e3:8.2f} / {max(slow) * 1e3:7.2f} "
                  f"{size / fast_median / 1e9:13.2f} {slow_median / fast_median:6.2f}")
            os.remove(path)


if __name__ == "__main__":
    main()
