#!/usr/bin/env python3
"""Draws the program's icon (a broom sweeping dust) and the donate button face.

Writes app/resources/drossweeper.ico (32x32 and 16x16, 16 colours) and
app/resources/donate.bmp (62x31, 256 colours). The outputs are committed, so
the build never needs Python; run this again only to change the pictures.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "app", "resources")

# The classic 16-colour palette, as (r, g, b).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, BROWN, OLIVE, GREY, DGREY, YELLOW, WHITE = 0, 1, 3, 7, 8, 11, 15


def broom(size):
    """Returns rows of palette indices (None = transparent) for a broom of size x size."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c

    # Handle: a thick diagonal from the top right down to the binding.
    for t in range(0, 1000):
        f = t / 1000.0
        x = (29 - 15 * f) * s
        y = (2 + 15 * f) * s
        for dx in range(-1 if size > 16 else 0, 1):
            put(int(x) + dx, int(y), BROWN)
            put(int(x) + dx + 1, int(y), OLIVE if size > 16 else BROWN)
    # Binding: a dark band across the top of the bristles.
    for i in range(int(6 * s) + 1):
        put(int((12 + i) * s), int((20 - i) * s), DGREY)
        put(int((12 + i) * s), int((21 - i) * s), DGREY)
    # Bristles: a fan of straw lines spreading down to the left.
    for k in range(9):
        bx, by = (13 + k * 0.7) * s, (21 - k * 0.7) * s
        ex, ey = (2 + k * 1.6) * s, (30 - k * 0.3) * s
        for t in range(0, 200):
            f = t / 200.0
            put(int(bx + (ex - bx) * f), int(by + (ey - by) * f), YELLOW if k % 2 else OLIVE)
    # Dust being swept away.
    for (x, y) in [(22, 27), (25, 29), (27, 26), (29, 30), (24, 24)]:
        put(int(x * s), int(y * s), DGREY)
        if size > 16:
            put(int(x * s) + 1, int(y * s), GREY)
    return px


def ico_image(size):
    rows = broom(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in VGA)
    xor = b""
    stride4 = ((size * 4 + 31) // 32) * 4
    for y in reversed(range(size)):
        line = bytearray()
        for x in range(0, size, 2):
            a = rows[y][x] or 0
            b = rows[y][x + 1] or 0
            line.append((a << 4) | b)
        xor += bytes(line) + b"\0" * (stride4 - len(line))
    mask = b""
    stride1 = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        bits = bytearray(stride1)
        for x in range(size):
            if rows[y][x] is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + palette + xor + mask


def write_ico(path):
    images = [ico_image(32), ico_image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_donate_bmp(path):
    w, h = 62, 31
    # A gold button with a dark frame, a heart and a small broom.
    palette = [(0, 0, 0)] * 256
    palette[0:6] = [(255, 255, 255), (40, 40, 40), (255, 196, 57), (250, 160, 30),
                    (200, 30, 50), (110, 70, 20)]
    px = [[2] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            if y > h // 2:
                px[y][x] = 3
            if x in (0, w - 1) or y in (0, h - 1):
                px[y][x] = 1
    for y in range(h):
        for x in range(w):
            # Heart: two circles over a triangle, centred at (31, 15).
            dx, dy = x - 31, y - 13
            if ((dx + 4) ** 2 + dy ** 2 <= 20) or ((dx - 4) ** 2 + dy ** 2 <= 20) or \
               (dy >= 0 and abs(dx) <= 9 - dy * 1.1 and dy <= 9):
                px[y][x] = 4
    for i in range(12):
        px[5 + i][48 - i // 2] = 5
        px[5 + i][49 - i // 2] = 5
    for k in range(5):
        px[18 + k // 2][40 + k] = 3
        for j in range(5):
            px[17 + j][41 + k] = 5 if j == 0 else 3
    stride = ((w * 8 + 31) // 32) * 4
    data = b""
    for y in reversed(range(h)):
        data += bytes(px[y]) + b"\0" * (stride - w)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    off = 14 + len(info) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    with open(path, "wb") as f:
        f.write(head + info + pal + data)


if __name__ == "__main__":
    write_ico(os.path.join(OUT, "drossweeper.ico"))
    write_donate_bmp(os.path.join(OUT, "donate.bmp"))
