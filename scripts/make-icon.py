#!/usr/bin/env python3
"""Writes the window program's icon (win32/brindlemar.ico): a page of log lines with one line marked, at 16
and 32 pixels in 16 colours, drawn here so that no image file made elsewhere is needed.
Usage: scripts/make-icon.py [output]"""
import struct
import sys

# The 16-colour palette (B, G, R, 0); only a few are used.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, RED, WHITE = 0, 4, 8, 12, 15  # indices (the palette is B, G, R)


def draw(size):
    """Rows top to bottom of (colour index or None for transparent)."""
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]
    left, right, top, bottom = round(5 * s), round(26 * s), round(2 * s), round(29 * s)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            pixels[y][x] = BLACK if edge else WHITE
    step = max(2, round(4 * s))
    for n, y in enumerate(range(top + step, bottom - 1, step)):
        colour = RED if n == 2 else (NAVY if n % 2 == 0 else GREY)
        end = right - round((3 + (n * 5) % 7) * s)
        for x in range(left + round(3 * s), end):
            pixels[y][x] = colour
            if colour == RED and size >= 32:
                pixels[y + 1][x] = colour
    return pixels


def image(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for x in range(0, size, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            line.append((hi << 4) | lo)
        xor += line
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else 'win32/brindlemar.ico'
    images = [image(16), image(32)]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in zip((16, 32), images):
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(output, 'wb') as out:
        out.write(data + b''.join(images))


if __name__ == '__main__':
    main()
