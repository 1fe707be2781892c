#!/usr/bin/env python3
"""Draws the program's default icon (a speaker with sound waves on a blue
disc) and writes it as default_icon.ico: one 32x32 and one 16x16 image,
32 bits per pixel with alpha, plus the 1-bit mask Windows expects.

    python3 make_default_icon.py [output.ico]
"""
import math
import struct
import sys


def coverage(size, inside, samples=4):
    """Fraction of each pixel for which inside(x, y) holds (x, y in 0..1)."""
    grid = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    hits += inside(x, y)
            row.append(hits / (samples * samples))
        grid.append(row)
    return grid


def disc(x, y):
    return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= 0.47 ** 2


def speaker(x, y):
    # The box and the cone of a loudspeaker, facing right.
    if 0.22 <= x <= 0.34 and 0.40 <= y <= 0.60:
        return True
    if 0.34 <= x <= 0.52:
        half = 0.10 + (x - 0.34) / 0.18 * 0.16
        return abs(y - 0.5) <= half
    return False


def waves(x, y):
    r = math.hypot(x - 0.50, y - 0.5)
    angle = abs(math.atan2(y - 0.5, x - 0.50))
    if x <= 0.52 or angle > 0.75:
        return False
    return 0.13 <= r - 0.0 <= 0.18 or 0.24 <= r <= 0.29


def image(size):
    back = coverage(size, disc)
    front = coverage(size, lambda x, y: speaker(x, y) or (waves(x, y) and disc(x, y)))
    pixels = []  # bottom-up rows of (b, g, r, a)
    for py in reversed(range(size)):
        for px in range(size):
            a = back[py][px]
            f = front[py][px]
            shade = py / (size - 1)  # lighter at the top
            blue = (int(40 + 30 * (1 - shade)), int(110 + 60 * (1 - shade)), 215)  # r, g, b
            r = blue[0] * (1 - f) + 255 * f
            g = blue[1] * (1 - f) + 255 * f
            b = blue[2] * (1 - f) + 255 * f
            pixels.append((int(b), int(g), int(r), int(round(255 * max(a, f)))))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(struct.pack("<BBBB", *p) for p in pixels)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in range(size):
        bits = bytearray(stride)
        for px in range(size):
            if pixels[row * size + px][3] == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + xor + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "default_icon.ico"
    images = [(32, image(32)), (16, image(16))]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    for _, body in images:
        data += body
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
