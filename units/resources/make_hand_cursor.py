#!/usr/bin/env python3
"""Draws the hyperlink box's hand cursor (a white pointing hand with a dark
outline, its hot spot at the tip of the index finger) and writes it as
hand_cursor.cur: one 32x32 image, 32 bits per pixel with alpha, plus the
1-bit mask Windows expects.

    python3 make_hand_cursor.py [output.cur]
"""
import math
import struct
import sys

from make_default_icon import coverage

SIZE = 32
HOT_SPOT = (13, 1)
OUTLINE = 1.3 / SIZE  # outline width, in image units


def capsule(x, y, x0, y0, x1, y1, r):
    """Distance test against a rounded segment: inside when <= r."""
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - r


def hand(inset):
    """The hand shrunk by inset: the index finger up, three folded fingers,
    the thumb on the left and the palm below."""
    parts = [
        (0.42, 0.10, 0.42, 0.56, 0.075),  # index finger
        (0.56, 0.42, 0.56, 0.60, 0.070),  # middle finger
        (0.69, 0.46, 0.69, 0.62, 0.065),  # ring finger
        (0.81, 0.52, 0.81, 0.64, 0.060),  # little finger
        (0.22, 0.55, 0.36, 0.72, 0.070),  # thumb
        (0.48, 0.66, 0.74, 0.66, 0.180),  # palm
        (0.50, 0.80, 0.72, 0.80, 0.120),  # heel of the hand
    ]

    def inside(x, y):
        return any(capsule(x, y, *p[:4], p[4] - inset) <= 0 for p in parts)

    return inside


def image():
    edge = coverage(SIZE, hand(0.0))
    fill = coverage(SIZE, hand(OUTLINE))
    pixels = []  # bottom-up rows of (b, g, r, a)
    for py in reversed(range(SIZE)):
        for px in range(SIZE):
            a = edge[py][px]
            f = fill[py][px]
            grey = int(round(255 * f))
            pixels.append((grey, grey, grey, int(round(255 * a))))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(struct.pack("<BBBB", *p) for p in pixels)
    stride = ((SIZE + 31) // 32) * 4
    mask = bytearray()
    for row in range(SIZE):
        bits = bytearray(stride)
        for px in range(SIZE):
            if pixels[row * SIZE + px][3] == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + xor + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "hand_cursor.cur"
    body = image()
    data = struct.pack("<HHH", 0, 2, 1)
    data += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOT_SPOT[0], HOT_SPOT[1], len(body), 22)
    data += body
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
