#!/usr/bin/env python3
"""Draws the program's icons and writes them as 16-colour .ico files.

    python3 tools/make_icons.py [output-folder]

The default folder is src/platform/win32. Each icon holds a 32 x 32 and a
16 x 16 image, 4 bits per pixel in the standard 16-colour palette, stored as
BMP data with an AND mask. Only the standard library is used, so the output
is the same wherever the script runs.

  program.ico  a padlock: the program icon (title bars, splash, About)
  about.ico    an information sign: the About window's own title-bar icon
"""

import math
import os
import struct
import sys

# The standard 16-colour palette, in the usual order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, NAVY, SILVER, GREY, YELLOW, BLUE, WHITE = 0, 3, 4, 7, 8, 11, 12, 15
CLEAR = None  # transparent: the AND mask shows the background


def inside_rounded(x, y, left, top, right, bottom, radius):
    """True when (x, y) lies in the rectangle with rounded corners."""
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return math.hypot(x - cx, y - cy) <= radius


def padlock(x, y):
    """Colour of the padlock at (x, y) on a 32-unit grid."""
    # Keyhole.
    if math.hypot(x - 16, y - 20.5) <= 2.3 or (14.9 <= x <= 17.1 and 20.5 <= y <= 26):
        return BLACK
    # Body, outlined, shaded on the right and at the bottom.
    if inside_rounded(x, y, 5, 14, 27, 30, 2):
        if not inside_rounded(x, y, 6, 15, 26, 29, 1.5):
            return BLACK
        if x >= 23.5 or y >= 26.5:
            return OLIVE
        return YELLOW
    # Shackle: a ring around (16, 13), open at the bottom, with straight legs.
    r = math.hypot(x - 16, y - 13) if y <= 13 else abs(x - 16)
    if 5 <= r <= 9 and y <= 15:
        return SILVER if 6 <= r <= 8 else GREY
    return CLEAR


def information(x, y):
    """Colour of the information sign at (x, y) on a 32-unit grid."""
    r = math.hypot(x - 16, y - 16)
    if r > 15:
        return CLEAR
    if r > 13.6:
        return NAVY
    if math.hypot(x - 16, y - 8.5) <= 2.4:
        return WHITE
    if 13.6 <= x <= 18.4 and 12.5 <= y <= 24:
        return WHITE
    if 11.5 <= x <= 20.5 and 22.5 <= y <= 25:
        return WHITE
    return BLUE


def render(shape, size):
    """Rows of colour indexes (None for clear), top row first, sampled at
    the pixel centres."""
    scale = 32.0 / size
    return [[shape((col + 0.5) * scale, (row + 0.5) * scale) for col in range(size)]
            for row in range(size)]


def bmp_image(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    colour_rows = []
    mask_rows = []
    for row in reversed(pixels):  # BMP rows go bottom-up
        nibbles = [0 if p is None else p for p in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(data + b'\0' * (-len(data) % 4))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        mask = bits.to_bytes(size // 8, 'big')
        mask_rows.append(mask + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(colour_rows) + b''.join(mask_rows)


def icon_file(shape):
    images = [bmp_image(render(shape, size)) for size in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'platform',
                                                                 'win32')
    for name, shape in (('program.ico', padlock), ('about.ico', information)):
        path = os.path.join(folder, name)
        with open(path, 'wb') as f:
            f.write(icon_file(shape))
        print('wrote', os.path.normpath(path))


if __name__ == '__main__':
    main()
