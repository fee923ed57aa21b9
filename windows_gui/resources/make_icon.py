#!/usr/bin/env python3
"""Writes trakmon32.ico: one 32 x 32 image in 16 colours.

The picture: a grey hard disk seen from the front, with a row of level
meters in the suite's magenta above it, on a transparent ground.
Run it from anywhere: python3 windows_gui/resources/make_icon.py
"""
import os
import struct

SIZE = 32

# The standard 16-colour palette, as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_MAGENTA, LIGHT_GREY, DARK_GREY, GREEN, MAGENTA, WHITE = 0, 5, 7, 8, 10, 13, 15
CLEAR = None  # transparent pixel


def draw():
    pixels = [[CLEAR] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                pixels[y][x] = colour

    # Level meters: eight bars of different heights, rows 1 .. 14.
    levels = [6, 10, 13, 8, 12, 5, 9, 11]
    for i, level in enumerate(levels):
        x = 1 + i * 4
        fill(x, 15 - level, x + 3, 15, MAGENTA)
        fill(x, 15 - level, x + 3, 15 - level + 1, WHITE)  # peak
        fill(x + 2, 15 - level + 1, x + 3, 15, DARK_MAGENTA)  # shade

    # The disk: a box with a black outline, light top edge, dark lower edge.
    fill(1, 17, 31, 31, BLACK)
    fill(2, 18, 30, 30, LIGHT_GREY)
    fill(2, 18, 30, 19, WHITE)
    fill(2, 28, 30, 30, DARK_GREY)
    # Front slot and the activity light.
    fill(5, 22, 21, 24, BLACK)
    fill(25, 22, 28, 24, GREEN)
    return pixels


def ico_bytes(pixels):
    header = struct.pack("<HHH", 0, 1, 1)
    xor_row_bytes = SIZE // 2               # 4 bits per pixel
    and_row_bytes = ((SIZE + 31) // 32) * 4  # 1 bit per pixel, rows padded to 4 bytes
    xor_size = xor_row_bytes * SIZE
    and_size = and_row_bytes * SIZE
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, xor_size + and_size,
                       0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)

    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += bits.to_bytes(and_row_bytes, "big")

    image = info + palette + bytes(xor) + bytes(mask)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "trakmon32.ico"), "wb") as out:
        out.write(ico_bytes(draw()))
