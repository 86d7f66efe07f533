#!/usr/bin/env python3
"""Writes the program icon data/game/icon.png: a 32x32 RGBA picture, a red
'V' on a blue field with a transparent corner, so that swapped red and blue
channels are easy to see. Made with zlib and struct only:

    python3 scripts/make_icon.py data/game/icon.png
"""
import struct
import sys
import zlib

SIZE = 32


def pixel(x, y):
    if x + y < 4:  # transparent top-left corner
        return (0, 0, 0, 0)
    # The two strokes of a 'V' from the top corners to the bottom middle.
    left = abs((x - 4) - (y * 12) // 28) <= 2
    right = abs((27 - x) - (y * 12) // 28) <= 2
    if (left or right) and 3 <= y <= 28:
        return (220, 30, 30, 255)
    return (20, 40, 200, 255)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(path):
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(SIZE)) for y in range(SIZE))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/game/icon.png")
