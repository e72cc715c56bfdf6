#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes colorbars_320x240.uyvy, the sample frame shipped with rawhist.

A 320x240 packed YUV 4:2:2 frame (byte order U Y V Y, BT.601 limited range):
the top two thirds hold eight 100% colour bars (white, yellow, cyan, green,
magenta, red, blue, black), the bottom third a horizontal luma ramp from 0 to
255 on neutral chroma, so both default ranges of rawhist catch something.
Run it from this folder: python3 make_colorbars.py
"""

WIDTH, HEIGHT = 320, 240

# (Y, U, V) of 100% bars, BT.601 limited range.
BARS = [
    (235, 128, 128),  # white
    (210, 16, 146),   # yellow
    (170, 166, 16),   # cyan
    (145, 54, 34),    # green
    (106, 202, 222),  # magenta
    (81, 90, 240),    # red
    (41, 240, 110),   # blue
    (16, 128, 128),   # black
]


def pixel(x, y):
    if y < HEIGHT * 2 // 3:
        return BARS[x * len(BARS) // WIDTH]
    return (x * 255 // (WIDTH - 1), 128, 128)


def main():
    frame = bytearray()
    for y in range(HEIGHT):
        for x in range(0, WIDTH, 2):
            y0, u, v = pixel(x, y)
            y1, _, _ = pixel(x + 1, y)
            frame += bytes((u, y0, v, y1))
    with open("colorbars_320x240.uyvy", "wb") as out:
        out.write(frame)


if __name__ == "__main__":
    main()
