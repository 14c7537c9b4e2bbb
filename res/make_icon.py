#!/usr/bin/env python3
"""Draws the program's icon (a monitor showing a pulse line) at 16, 32 and 48 pixels and writes
it as a Windows .ico file with 32-bit images. Standard library only."""
import struct
import sys

BLUE = (15, 146, 214)
DARK = (8, 88, 129)
WHITE = (255, 255, 255)
GREEN = (60, 220, 90)


def seg_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def pixel(size, x, y):
    """RGBA of pixel (x, y), y downwards, in a unit square scaled to `size`."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    # Stand and foot of the monitor.
    if 0.44 <= u <= 0.56 and 0.74 <= v <= 0.84:
        return DARK + (255,)
    if 0.28 <= u <= 0.72 and 0.84 <= v <= 0.93:
        return DARK + (255,)
    # Case: a blue rounded rectangle with a white screen inside.
    if 0.04 <= u <= 0.96 and 0.10 <= v <= 0.76:
        corner = 0.08
        cu = min(u - 0.04, 0.96 - u)
        cv = min(v - 0.10, 0.76 - v)
        if cu < corner and cv < corner and ((corner - cu) ** 2 + (corner - cv) ** 2) ** 0.5 > corner:
            return (0, 0, 0, 0)
        if 0.12 <= u <= 0.88 and 0.18 <= v <= 0.68:
            # The pulse line across the screen.
            points = [(0.12, 0.45), (0.34, 0.45), (0.42, 0.26), (0.52, 0.62), (0.60, 0.40),
                      (0.66, 0.45), (0.88, 0.45)]
            width = max(0.045, 1.1 / size)
            d = min(seg_distance(u, v, *points[i], *points[i + 1]) for i in range(len(points) - 1))
            return (GREEN if d <= width else (20, 40, 60)) + (255,)
        return BLUE + (255,)
    return (0, 0, 0, 0)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up, as a DIB stores them
        row = b''
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # transparency comes from the alpha channel
    return header + b''.join(rows) + mask


def main(path):
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1])
