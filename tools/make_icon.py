#!/usr/bin/env python3
"""Draws the installer's icon (a rounded blue tile with a white down arrow)
and writes it as a .ico file with 16, 32 and 48 pixel images."""
import struct
import sys
import zlib


def pixel(x, y, size):
    """RGBA of one pixel of the icon at the given size."""
    r = size * 0.18
    inside = True
    # Rounded corners: outside any corner circle means transparent.
    for cx, cy in ((r, r), (size - 1 - r, r), (r, size - 1 - r), (size - 1 - r, size - 1 - r)):
        in_corner_box = (x < r if cx == r else x > size - 1 - r) and (y < r if cy == r else y > size - 1 - r)
        if in_corner_box and (x - cx) ** 2 + (y - cy) ** 2 > r * r:
            inside = False
    if not inside:
        return (0, 0, 0, 0)
    # A white arrow pointing down: a shaft and a triangle head.
    u, v = x / size, y / size
    shaft = 0.42 <= u <= 0.58 and 0.18 <= v <= 0.55
    head = 0.52 <= v <= 0.80 and abs(u - 0.5) <= (0.80 - v) * 1.1
    base = 0.84 <= v <= 0.89 and 0.22 <= u <= 0.78
    if shaft or head or base:
        return (255, 255, 255, 255)
    shade = int(40 * v)
    return (20, 110 - shade // 2, 215 - shade, 255)


def png(size):
    rows = b"".join(b"\0" + bytes(c for x in range(size) for c in pixel(x, y, size)) for y in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def main():
    sizes = (16, 32, 48)
    images = [png(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
