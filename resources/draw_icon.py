#!/usr/bin/env python3
"""Draws the updater's icon (a chip with a download arrow) and writes update.ico
with a 32x32 and a 16x16 image, 32 bits per pixel. Run it from this folder after
changing the drawing; the .ico is committed so that builds need no Python."""

import struct


def pixel(size, x, y):
    """Colour (r, g, b, a) of pixel (x, y), drawn on a 32x32 grid."""
    gx, gy = x * 32 // size, y * 32 // size
    if 3 <= gy <= 14 and 13 <= gx <= 18:
        return (40, 160, 60, 255)          # arrow shaft
    if 15 <= gy <= 20 and abs(gx - 15.5) <= 21 - gy:
        return (40, 160, 60, 255)          # arrow head
    if 21 <= gy <= 28 and 7 <= gx <= 24:
        return (50, 60, 90, 255)           # chip body
    if 22 <= gy <= 27 and gx in (5, 6, 25, 26) and gy % 2 == 0:
        return (170, 170, 170, 255)        # pins
    return (0, 0, 0, 0)


def image(size):
    rows = []
    for y in reversed(range(size)):        # bitmaps are stored bottom-up
        rows.append(b"".join(bytes((b, g, r, a)) for r, g, b, a in
                             (pixel(size, x, y) for x in range(size))))
    mask_row = bytes(((size + 31) // 32) * 4)  # transparency comes from alpha
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + mask_row * size


def main():
    images = [(32, image(32)), (16, image(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open("update.ico", "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
