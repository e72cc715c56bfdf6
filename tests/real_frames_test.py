#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs every recipe of the guide to real frames as the guide writes it.

  tests/real_frames_test.py GUIDE RAWHIST [EMULATOR WORDS...]

Each recipe gets frames built here from known random samples, at an odd
width and with padded lines, and rawhist's counts after the recipe must
equal the counts of those samples' top 8 bits, computed here in plain
Python from the samples before they were packed or padded. The Bayer test
frame needs ffmpeg: without it that recipe is skipped, saying so, unless
RAWHIST_REQUIRE_FFMPEG=1 (as CI sets it) makes that a failure.
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

guide, tool, emulator = sys.argv[1], sys.argv[2], sys.argv[3:]
with open(guide, encoding="utf-8") as f:
    recipes = dict(re.findall(r"<!-- recipe: ([\w-]+) -->\n```sh\n(.*?)```", f.read(), re.S))
wanted = {"unpad", "deep", "packed", "frames", "padded-frames", "levels", "bayer-test-frame"}
random.seed(2718)
failures = []
checked = 0


def fail(text):
    failures.append(text)
    print("FAIL: " + text, file=sys.stderr)


work = tempfile.mkdtemp()
os.makedirs(work + "/bin")
# The recipes call rawhist by name, as an installed tool.
with open(work + "/bin/rawhist", "w", encoding="utf-8") as f:
    f.write('#!/bin/sh\nexec %s "%s" "$@"\n' % (" ".join(emulator), os.path.abspath(tool)))
os.chmod(work + "/bin/rawhist", 0o755)


def fresh_dir():
    return tempfile.mkdtemp(dir=work)


def run_recipe(name, cwd, **variables):
    """The recipe's text in bash, with the guide's variables set; its output."""
    # Debian's python3 first, the one python3-numpy serves, should another
    # (a pyenv, a virtual environment) come first on the PATH.
    env = dict(os.environ, PATH=work + "/bin:/usr/bin:" + os.environ["PATH"])
    env.update({k: str(v) for k, v in variables.items()})
    r = subprocess.run(["bash", "-e", "-c", recipes[name]], cwd=cwd, env=env, capture_output=True, text=True)
    if r.returncode != 0:
        fail("%s %s: status %d, %s" % (name, variables, r.returncode, r.stderr.strip()))
    return r.stdout


def rawhist(cwd, *args):
    r = subprocess.run([work + "/bin/rawhist", *args], cwd=cwd, capture_output=True, text=True)
    return r.stdout


def counts(values):
    """rawhist's line for these 8-bit samples under the default ranges."""
    return "%d, %d\n" % (sum(1 for v in values if v <= 30), sum(1 for v in values if v >= 215))


def expect(label, got, want):
    global checked
    checked += 1
    if got != want:
        fail("%s: rawhist printed %r, the samples give %r" % (label, got, want))


def write(path, data):
    with open(path, "wb") as f:
        f.write(bytes(data))


def padded(lines, stride):
    """Lines of picture bytes, each padded to `stride` with dark bytes: a
    count that took in the padding would move the first sum."""
    out = []
    for line in lines:
        out += line + [0] * (stride - len(line))
    return out


W, H = 37, 5  # odd, and no whole number of RAW10 or RAW12 groups

for name in sorted(wanted - recipes.keys()):
    fail("the guide has no recipe '%s'" % name)
if failures:
    sys.exit(1)

# 8-bit layouts with padded lines: every byte, or the luma bytes of YUV.
for word, per_pixel, luma in [(None, 1, None), ("bayer", 1, None), ("yuyv", 2, 0), ("yvyu", 2, 0),
                              ("uyvy", 2, 1), ("vyuy", 2, 1)]:
    width = W if per_pixel == 1 else W + 1  # YUV 4:2:2 comes in pixel pairs
    line = width * per_pixel
    lines = [[random.randrange(256) for _ in range(line)] for _ in range(H)]
    samples = [v for l in lines for i, v in enumerate(l) if luma is None or i % 2 == luma]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, line + 11))
    run_recipe("unpad", d, H=H, STRIDE=line + 11, LINE=line)
    expect("unpad, %s" % (word or "grey"), rawhist(d, "-n", "picture.raw", *(["-f", word] if word else [])),
           counts(samples))

# Deeper samples in 16-bit little-endian containers, padded.
for bits in (10, 12, 14, 16):
    samples = [[random.randrange(1 << bits) for _ in range(W)] for _ in range(H)]
    lines = [[byte for s in l for byte in (s & 0xFF, s >> 8)] for l in samples]
    top = [s >> (bits - 8) for l in samples for s in l]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, 2 * W + 6))
    run_recipe("unpad", d, H=H, STRIDE=2 * W + 6, LINE=2 * W)
    expect("deep, %d bits" % bits, run_recipe("deep", d, BITS=bits), counts(top))
    if bits == 16:
        # The guide's shortcut: the high bytes of 16-bit samples at odd offsets.
        expect("16 bits as uyvy", rawhist(d, "-n", "picture.raw", "-f", "uyvy"), counts(top))

# MIPI-packed RAW10, RAW12 and RAW14: the high-bit bytes, then the low bits
# of the group; the part-filled last group of each line is padded with dark
# pixels.
for bits, per_group, pack in ((10, 4, 5), (12, 2, 3), (14, 4, 7)):
    groups = -(-W // per_group)
    samples = [[random.randrange(1 << bits) for _ in range(W)] for _ in range(H)]
    lines = []
    for l in samples:
        pixels = l + [random.randrange(1 << (bits - 8))] * (groups * per_group - W)
        line = []
        for g in range(groups):
            group = pixels[g * per_group:(g + 1) * per_group]
            line += [s >> (bits - 8) for s in group]
            low = sum((s & ((1 << (bits - 8)) - 1)) << ((bits - 8) * k) for k, s in enumerate(group))
            line += [(low >> (8 * k)) & 0xFF for k in range(pack - per_group)]
        lines.append(line)
    top = [s >> (bits - 8) for l in samples for s in l]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, groups * pack + 5))
    run_recipe("unpad", d, H=H, STRIDE=groups * pack + 5, LINE=groups * pack)
    expect("packed RAW%d" % bits, run_recipe("packed", d, W=W, H=H, GROUP=per_group, PACK=pack), counts(top))

# Black and white levels, after the deep conversion.
for bits, black, white in ((10, 64, 1023), (12, 256, 4000)):
    samples = [random.randrange(1 << bits) for _ in range(W * H)]
    d = fresh_dir()
    write(d + "/picture.raw", [byte for s in samples for byte in (s & 0xFF, s >> 8)])
    run_recipe("deep", d, BITS=bits)
    step = 1 << (bits - 8)
    b8, w8 = black // step, white // step
    # Counted at the sensor's depth: the samples whose 8-bit value is in range.
    want = "%d, %d\n" % (sum(1 for s in samples if b8 * step <= s < (b8 + 31) * step),
                         sum(1 for s in samples if (w8 - 40) * step <= s < (w8 + 1) * step))
    expect("levels, %d bits" % bits, run_recipe("levels", d, BITS=bits, BLACK=black, WHITE=white), want)

# Captures of several UYVY frames, unpadded and padded, in a folder that also
# holds other files and a frame that fails.
for name, pad in (("frames", 0), ("padded-frames", 10)):
    line = 2 * (W + 1)
    frames = [[[random.randrange(256) for _ in range(line)] for _ in range(H)] for _ in range(3)]
    d = fresh_dir()
    write(d + "/capture.raw", [v for f in frames for v in padded(f, line + pad)])
    write(d + "/frame-1080p.uyvy", [0] * 64)
    os.makedirs(d + "/frames")
    write(d + "/frames/frame-9999.raw", [])
    out = run_recipe(name, d, FRAME=(line + pad) * H, H=H, STRIDE=line + pad, LINE=line)
    want = "".join("frames/frame-%04d.raw: %s" % (k, counts([v for l in f for v in l[1::2]]))
                   for k, f in enumerate(frames)) + "frames/frame-9999.raw: failed\n"
    expect(name, out, want)

# The Bayer test frame: the mosaic of ffmpeg's RGB frame, BGGR.
if shutil.which("ffmpeg") is None:
    if os.environ.get("RAWHIST_REQUIRE_FFMPEG") == "1":
        fail("ffmpeg is not installed, and RAWHIST_REQUIRE_FFMPEG=1")
    else:
        print("SKIPPED: the Bayer test frame recipe, for want of ffmpeg")
else:
    d = fresh_dir()
    out = run_recipe("bayer-test-frame", d, W=W, H=H)
    with open(d + "/test.rgb", "rb") as f:
        rgb = f.read()
    if len(rgb) != 3 * W * H:
        fail("ffmpeg wrote %d bytes of RGB, not %d" % (len(rgb), 3 * W * H))
        rgb = bytes(3 * W * H)
    site = lambda x, y: 2 if x % 2 == 0 and y % 2 == 0 else 0 if x % 2 and y % 2 else 1
    mosaic = [rgb[3 * (y * W + x) + site(x, y)] for y in range(H) for x in range(W)]
    expect("bayer test frame", out, counts(mosaic))

shutil.rmtree(work)
print("%d recipe checks, %d failed" % (checked, len(failures)))
sys.exit(1 if failures else 0)
