#!/usr/bin/env python3
"""Draws the About window's background: a rounded panel on pure green (the
key colour, so the corners are cut away). Writes a PPM; the build turns it
into about.gif with ImageMagick. Usage: make_about.py OUT.ppm"""
import sys

W = H = 400
GREEN = (0, 255, 0)
PANEL = (24, 32, 64)
EDGE = (240, 170, 40)
BAND = (36, 48, 96)


def inside(x, y, margin, radius):
    x0, y0, x1, y1 = margin, margin, W - 1 - margin, H - 1 - margin
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + radius), x1 - radius)
    cy = min(max(y, y0 + radius), y1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


rows = []
for y in range(H):
    row = []
    for x in range(W):
        if not inside(x, y, 0, 40):
            row.append(GREEN)
        elif not inside(x, y, 5, 36):
            row.append(EDGE)
        elif 26 <= y <= 52 or 202 <= y <= 226:
            row.append(BAND)
        else:
            row.append(PANEL)
    rows.append(row)

with open(sys.argv[1], "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (W, H))
    for row in rows:
        f.write(bytes(c for px in row for c in px))
