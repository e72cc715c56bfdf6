#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs every recipe of the guide to real frames as the guide writes it,
under bash and under dash, as a script would.

  tests/real_frames_test.py GUIDE RAWHIST

Each recipe gets frames built here from known random samples, at an odd
width and with padded lines, and rawhist's counts after the recipe must
equal the counts of those samples' top 8 bits, computed here in plain
Python from the samples before they were packed or padded. Where a step
fails or a variable is missing or wrong, the recipe must print `failed`
(or the right line), never nothing and never an older frame's count; the
two shells must print the same. The Bayer test
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

guide, tool = sys.argv[1], sys.argv[2]
with open(guide, encoding="utf-8") as f:
    recipes = dict(re.findall(r"<!-- recipe: ([\w-]+) -->\n```sh\n(.*?)```", f.read(), re.S))
wanted = {"unpad", "deep", "packed", "frames", "levels", "channels", "bayer-test-frame"}
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
    f.write('#!/bin/sh\nexec "%s" "$@"\n' % os.path.abspath(tool))
os.chmod(work + "/bin/rawhist", 0o755)


def fresh_dir():
    return tempfile.mkdtemp(dir=work)


def run_recipe(names, cwd, **variables):
    """The recipes' text (one name, or several run in turn) with the guide's
    variables set, in bash in `cwd` and in dash in a copy of it as it was;
    bash's output, once every shell printed it and ended with status 0."""
    # Debian's python3 first, the one python3-numpy serves, should another
    # (a pyenv, a virtual environment) come first on the PATH.
    env = dict(os.environ, PATH=work + "/bin:/usr/bin:" + os.environ["PATH"])
    for k in ("W", "H", "STRIDE", "LINE", "FRAME", "BITS", "GROUP", "PACK", "BLACK", "WHITE", "DARK", "BRIGHT", "FMT",
              "ORDER"):
        env.pop(k, None)
    env.update({k: str(v) for k, v in variables.items()})
    text = "\n".join(recipes[n] for n in ([names] if isinstance(names, str) else names))
    copy = cwd + ".dash"
    shutil.copytree(cwd, copy)
    out = {}
    for shell, folder in (("bash", cwd), ("dash", copy)):
        r = subprocess.run([shell, "-c", text], cwd=folder, env=env, capture_output=True, text=True)
        if r.returncode != 0:
            fail("%s under %s %s: status %d, %s" % (names, shell, variables, r.returncode, r.stderr.strip()))
        out[shell] = r.stdout
    shutil.rmtree(copy)
    if out["dash"] != out["bash"]:
        fail("%s %s: bash printed %r, dash %r" % (names, variables, out["bash"], out["dash"]))
    return out["bash"]


def rawhist(cwd, *args):
    r = subprocess.run([work + "/bin/rawhist", *args], cwd=cwd, capture_output=True, text=True)
    return r.stdout


def counts(values, dark=(0, 30), bright=(215, 255)):
    """rawhist's line for these 8-bit samples, under its default ranges unless given."""
    return "%d, %d\n" % (sum(1 for v in values if dark[0] <= v <= dark[1]),
                         sum(1 for v in values if bright[0] <= v <= bright[1]))


def le16(samples):
    return [byte for s in samples for byte in (s & 0xFF, s >> 8)]


def mipi(samples, bits, per_group, pack):
    """One line of samples MIPI-packed: the high-bit bytes, then the low
    bits of the group; a part-filled last group is padded with dark pixels."""
    groups = -(-len(samples) // per_group)
    pixels = samples + [random.randrange(1 << (bits - 8))] * (groups * per_group - len(samples))
    line = []
    for g in range(groups):
        group = pixels[g * per_group:(g + 1) * per_group]
        line += [s >> (bits - 8) for s in group]
        low = sum((s & ((1 << (bits - 8)) - 1)) << ((bits - 8) * k) for k, s in enumerate(group))
        line += [(low >> (8 * k)) & 0xFF for k in range(pack - per_group)]
    return line


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

# 8-bit layouts with padded lines and bytes after the picture: every
# byte, or the luma bytes of YUV.
for word, per_pixel, luma in [(None, 1, None), ("bayer", 1, None), ("yuyv", 2, 0), ("yvyu", 2, 0),
                              ("uyvy", 2, 1), ("vyuy", 2, 1)]:
    width = W if per_pixel == 1 else W + 1  # YUV 4:2:2 comes in pixel pairs
    line = width * per_pixel
    lines = [[random.randrange(256) for _ in range(line)] for _ in range(H)]
    samples = [v for l in lines for i, v in enumerate(l) if luma is None or i % 2 == luma]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, line + 11) + [0] * 40)
    run_recipe("unpad", d, H=H, STRIDE=line + 11, LINE=line, FRAME=(line + 11) * H + 40)
    expect("unpad, %s" % (word or "grey"), rawhist(d, "-n", "picture.raw", *(["-f", word] if word else [])),
           counts(samples))

# A frame shorter than its lines: unpad fails and leaves no picture behind.
d = fresh_dir()
write(d + "/frame.raw", [0] * (3 * W))
write(d + "/picture.raw", [255] * W)
expect("unpad, short frame", run_recipe("unpad", d, H=H, STRIDE=W, LINE=W), "failed\n")
expect("unpad, short frame leaves no picture", str(os.path.exists(d + "/picture.raw")), "False")

# Deeper samples in 16-bit little-endian containers, padded.
for bits in (10, 12, 14, 16):
    samples = [[random.randrange(1 << bits) for _ in range(W)] for _ in range(H)]
    lines = [le16(l) for l in samples]
    top = [s >> (bits - 8) for l in samples for s in l]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, 2 * W + 6))
    run_recipe("unpad", d, H=H, STRIDE=2 * W + 6, LINE=2 * W)
    expect("deep, %d bits" % bits, run_recipe("deep", d, W=W, H=H, BITS=bits), counts(top))
    if bits == 16:
        # The guide's shortcut: the high bytes of 16-bit samples at odd offsets.
        expect("16 bits as uyvy", rawhist(d, "-n", "picture.raw", "-f", "uyvy"), counts(top))

# A conversion that fails prints `failed`, never the count of the frame
# converted before: a stray byte, half a frame, no picture at all (the
# unpad step skipped), each after a good frame8.raw of another frame.
for label, recipe, picture in (("deep, a stray byte", "deep", [7] * (2 * W * H + 1)),
                               ("deep, half a frame", "deep", [7] * (W * H)),
                               ("deep, no picture", "deep", None),
                               ("packed, a stray byte", "packed", [7] * (-(-W // 4) * 5 * H + 1)),
                               ("packed, no picture", "packed", None)):
    d = fresh_dir()
    write(d + "/frame8.raw", [0] * 80)
    if picture is not None:
        write(d + "/picture.raw", picture)
    out = run_recipe(recipe, d, W=W, H=H, BITS=10, GROUP=4, PACK=5)
    expect(label, out, "failed\n")

# MIPI-packed RAW10, RAW12 and RAW14, padded.
for bits, per_group, pack in ((10, 4, 5), (12, 2, 3), (14, 4, 7)):
    groups = -(-W // per_group)
    samples = [[random.randrange(1 << bits) for _ in range(W)] for _ in range(H)]
    lines = [mipi(l, bits, per_group, pack) for l in samples]
    top = [s >> (bits - 8) for l in samples for s in l]
    d = fresh_dir()
    write(d + "/frame.raw", padded(lines, groups * pack + 5))
    run_recipe("unpad", d, H=H, STRIDE=groups * pack + 5, LINE=groups * pack)
    expect("packed RAW%d" % bits, run_recipe("packed", d, W=W, H=H, GROUP=per_group, PACK=pack), counts(top))

# Raspberry Pi 5, unpacked: 12-bit samples at the top of 16 bits, lines
# padded to a width of 32 pixels, and lines after the picture.
samples = [[random.randrange(1 << 12) for _ in range(W)] for _ in range(H)]
stride = (W + 31) // 32 * 32 * 2
lines = [le16([s << 4 for s in l]) for l in samples] + [[255] * (2 * W)] * (16 - H)
top = [s >> 4 for l in samples for s in l]
d = fresh_dir()
write(d + "/frame.raw", padded(lines, stride))
run_recipe("unpad", d, H=H, STRIDE=stride, LINE=2 * W, FRAME=stride * 16)
expect("Raspberry Pi 5, deep at 16 bits", run_recipe("deep", d, W=W, H=H, BITS=16), counts(top))
expect("Raspberry Pi 5, as uyvy", rawhist(d, "-n", "picture.raw", "-f", "uyvy"), counts(top))


def levels_line(samples, bits, black, white):
    """The samples near black (from 0 up to 30 steps above the pedestal)
    and near white, counted at the sensor's depth."""
    step = 1 << (bits - 8)
    b8, w8 = black // step, white // step
    return "%d, %d\n" % (sum(1 for s in samples if s < (b8 + 31) * step),
                         sum(1 for s in samples if (w8 - 40) * step <= s < (w8 + 1) * step))


# Black and white levels, after the deep conversion: random samples, and a
# dark frame whose noise reaches below the pedestal (10 bits, black at 64,
# noise of 4: every sample is near black).
dark = [max(0, min(1023, round(random.gauss(64, 4)))) for _ in range(W * H)]
for bits, black, white, samples in ((10, 64, 1023, [random.randrange(1024) for _ in range(W * H)]),
                                    (12, 256, 4000, [random.randrange(4096) for _ in range(W * H)]),
                                    (10, 64, 1023, dark)):
    d = fresh_dir()
    write(d + "/picture.raw", le16(samples))
    run_recipe("deep", d, W=W, H=H, BITS=bits)
    expect("levels, %d bits, black %d" % (bits, black),
           run_recipe("levels", d, BITS=bits, BLACK=black, WHITE=white), levels_line(samples, bits, black, white))
expect("levels, the dark frame is all near black", levels_line(dark, 10, 64, 1023), "%d, 0\n" % (W * H))

# Each channel of a mosaic whose channels clip differently, in each order:
# red clips most, blue least, the two greens in between and apart.
clip = {"R": 0.6, "Gr": 0.4, "Gb": 0.2, "B": 0.0}
for order in ("BGGR", "GBRG", "GRBG", "RGGB"):
    def channel(x, y):
        k = (y % 2) * 2 + x % 2
        c = order[k]
        return c + (order[k ^ 1].lower() if c == "G" else "")
    mosaic = [255 if random.random() < clip[channel(x, y)] else random.randrange(256)
              for y in range(H) for x in range(W)]
    d = fresh_dir()
    write(d + "/frame8.raw", mosaic)
    want = "".join("%s: %s" % (c, counts([v for i, v in enumerate(mosaic) if channel(i % W, i // W) == c]))
                   for c in ("B", "Gb", "Gr", "R"))
    expect("channels, %s" % order, run_recipe("channels", d, W=W, H=H, ORDER=order), want)


def frame_lines(name, pieces):
    """What the frames recipe prints for these pieces: a count, or failed."""
    return "".join("frames/frame-%s.raw: %s" % (name(k), p) for k, p in enumerate(pieces))


# Captures of several frames: YUV with padded lines and bytes after the
# picture, split where an earlier capture of more frames left its pieces;
# its last piece cut short.
for word, luma in (("UYVY", 1), ("yuyv", 0)):
    line = 2 * (W + 1)
    stride, frame = line + 10, (line + 10) * H + 24
    frames = [[[random.randrange(256) for _ in range(line)] for _ in range(H)] for _ in range(3)]
    data = [v for f in frames for v in padded(f, stride) + [0] * 24]
    d = fresh_dir()
    os.makedirs(d + "/frames")
    for k in range(5):
        write(d + "/frames/frame-%d.raw" % k, [0] * frame)
    write(d + "/capture.raw", data + [0] * (frame // 2))
    want = frame_lines(str, [counts([v for l in f for v in l[luma::2]]) for f in frames] + ["failed\n"])
    expect("frames, %s" % word, run_recipe("frames", d, FRAME=frame, H=H, STRIDE=stride, LINE=line, FMT=word),
           want)

# A RAW10 capture through frames, the packed conversion in place of the
# `mv` line as the guide says, and no format word.
frames_recipe = recipes["frames"]
conversion = recipes["packed"].splitlines()[1].replace("picture.raw frame8.raw", '"$f.picture" "$f.8"')
recipes["packed-frames"] = frames_recipe.replace('    mv "$f.picture" "$f.8" &&', "    " + conversion)
groups = -(-W // 4)
frames = [[[random.randrange(1024) for _ in range(W)] for _ in range(H)] for _ in range(3)]
data = [v for f in frames for v in padded([mipi(l, 10, 4, 5) for l in f], groups * 5 + 3)]
d = fresh_dir()
write(d + "/capture.raw", data)
expect("frames, RAW10", run_recipe("packed-frames", d, W=W, H=H, FRAME=(groups * 5 + 3) * H, STRIDE=groups * 5 + 3,
                                   LINE=groups * 5, GROUP=4, PACK=5, FMT=""),
       frame_lines(str, [counts([s >> 2 for l in f for s in l]) for f in frames]))

# Greyscale frames, more than ten of them (the names grow a digit), and a
# capture too short for one frame.
frames = [[random.randrange(256) for _ in range(W)] for _ in range(12)]
d = fresh_dir()
write(d + "/capture.raw", [v for f in frames for v in f])
expect("frames, twelve", run_recipe("frames", d, FRAME=W, H=1, STRIDE=W, LINE=W, FMT=""),
       frame_lines(lambda k: "%02d" % k, [counts(f) for f in frames]))
for data in ([], [0] * (W - 1)):
    d = fresh_dir()
    write(d + "/capture.raw", data)
    expect("frames, %d bytes" % len(data), run_recipe("frames", d, FRAME=W, H=1, STRIDE=W, LINE=W, FMT=""),
           "capture.raw: failed\n")

# Failure paths and guards: the files a folder holds (bytes, or "fmt" for
# an existing picture.raw or frame8.raw of another frame), the recipes run in
# turn, their variables, and what they must print.
stale = [0] * 80
narrow = [random.randrange(256) for _ in range(4)]  # 1x4 BGGR: no Gb and no R sites
mosaic = [random.randrange(256) for _ in range(W * H)]
pi5 = le16([random.randrange(1 << 12) << 4 for _ in range(W * H)])
levels_ranges = {"dark": (0, 46), "bright": (210, 250)}  # 10 bits, black 64, white 1003
for label, files, names, variables, want in (
        ("frames, no capture", {}, "frames", dict(FRAME=8, H=2, STRIDE=4, LINE=4), "capture.raw: failed\n"),
        ("frames, FRAME unset", {"capture.raw": [1] * 16}, "frames", dict(H=2, STRIDE=4, LINE=4),
         "capture.raw: failed\n"),
        ("unpad, STRIDE too small", {"frame.raw": [1] * (H * W + 8)}, "unpad", dict(H=H, STRIDE=W - 1, LINE=W - 1),
         "failed\n"),
        ("unpad, LINE beyond STRIDE", {"frame.raw": [1] * (H * W)}, "unpad", dict(H=H, STRIDE=W, LINE=W + 1),
         "failed\n"),
        ("deep, 16-bit samples as 12", {"frame8.raw": stale, "picture.raw": pi5}, "deep", dict(W=W, H=H, BITS=12),
         "failed\n"),
        ("levels, no frame", {}, "levels", dict(BITS=10, BLACK=64, WHITE=1023), "failed\n"),
        ("levels, BITS unset", {"frame8.raw": mosaic}, "levels", dict(BLACK=64, WHITE=1023), "failed\n"),
        ("levels, WHITE unset", {"frame8.raw": mosaic}, "levels", dict(BITS=10, BLACK=64), "failed\n"),
        ("levels, WHITE above BITS", {"frame8.raw": mosaic}, "levels", dict(BITS=10, BLACK=64, WHITE=4095),
         "failed\n"),
        ("channels, 1x4", {"frame8.raw": narrow}, "channels", dict(W=1, H=4, ORDER="BGGR"),
         "B: %sGb: 0, 0\nGr: %sR: 0, 0\n" % (counts(narrow[0::2]), counts(narrow[1::2]))),
        ("channels, no Bayer order", {"frame8.raw": mosaic}, "channels", dict(W=W, H=H, ORDER="BGRG"), "failed\n"),
        ("channels, the ranges of levels", {"frame8.raw": mosaic}, ["levels", "channels"],
         dict(W=W, H=H, ORDER="RGGB", BITS=10, BLACK=64, WHITE=1003),
         counts(mosaic, **levels_ranges) + "".join("%s: %s" % (c, counts(
             [v for i, v in enumerate(mosaic) if (i // W % 2) * 2 + i % W % 2 == k], **levels_ranges))
             for c, k in (("B", 3), ("Gb", 2), ("Gr", 1), ("R", 0)))),
        ("bayer test frame, no size", {"test.bayer": stale}, "bayer-test-frame", dict(W=W, H=0), "failed\n")):
    if names == "bayer-test-frame" and shutil.which("ffmpeg") is None:
        continue
    d = fresh_dir()
    for name, data in files.items():
        write(d + "/" + name, data)
    expect(label, run_recipe(names, d, **variables), want)

# The Bayer test frame: the mosaic of ffmpeg's RGB frame, BGGR, made where
# an earlier, larger one was.
if shutil.which("ffmpeg") is None:
    if os.environ.get("RAWHIST_REQUIRE_FFMPEG") == "1":
        fail("ffmpeg is not installed, and RAWHIST_REQUIRE_FFMPEG=1")
    else:
        print("SKIPPED: the Bayer test frame recipe, for want of ffmpeg")
else:
    d = fresh_dir()
    write(d + "/test.rgb", [255] * (3 * 2 * W * H))
    write(d + "/test.bayer", [255] * (2 * W * H))
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
