#!/usr/bin/env python3
"""Looks at screenshots of the globe for the end-to-end tests. Pictures are read as raw RGB
through ImageMagick, so nothing beyond the standard library is needed.

  picture_check.py card SHOT           x y of a small (unselected) card away from the middle
  picture_check.py blob SHOT [X Y R]   count and centre of the selected (light-blue) card's
                                       pixels: in the 128 x 128 square that holds most of
                                       them (photos may have light-blue backgrounds too), or
                                       within R of (X, Y)
  picture_check.py diff A B            fraction of pixels that changed between two pictures
  picture_check.py bar SHOT            fraction of the eighth row that is the top bar's blue
  picture_check.py size SHOT           width and height
"""
import subprocess
import sys


def load(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True, text=True)
    w, h = (int(v) for v in size.stdout.split()[:2])
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    if len(raw) != w * h * 3:
        sys.exit(f"{path}: unexpected pixel data")
    return w, h, raw


def selected(r, g, b):
    return b > 200 and g > 160 and r < b - 30


def plain(r, g, b):
    lo, hi = min(r, g, b), max(r, g, b)
    return lo > 200 and hi - lo < 20


def card(path):
    w, h, px = load(path)
    mask = [plain(px[i], px[i + 1], px[i + 2]) for i in range(0, len(px), 3)]
    sat = summed_area(w, h, mask)
    best, at = -1, (0, 0)
    for y in range(60, h - 64, 4):
        for x in range(40, w - 64, 4):
            cx, cy = x + 12, y + 12
            if (cx - w / 2) ** 2 + (cy - h / 2) ** 2 < 120 ** 2:
                continue
            n = sat[y + 24][x + 24] - sat[y][x + 24] - sat[y + 24][x] + sat[y][x]
            if n > best:
                best, at = n, (cx, cy)
    print(at[0], at[1])


def summed_area(w, h, mask):
    """Summed-area table of a 0/1 mask, so that any rectangle's count costs four lookups."""
    sat = [[0] * (w + 1) for _ in range(h + 1)]
    for y in range(h):
        run = 0
        row, prev = sat[y + 1], sat[y]
        for x in range(w):
            run += mask[y * w + x]
            row[x + 1] = prev[x + 1] + run
    return sat


def blob(path, x0=None, y0=None, rad=None):
    w, h, px = load(path)
    mask = [selected(px[i], px[i + 1], px[i + 2]) for i in range(0, len(px), 3)]
    if rad is None:
        side = 128
        sat = summed_area(w, h, mask)
        best = -1
        for y in range(0, max(1, h - side + 1), 4):
            for x in range(0, max(1, w - side + 1), 4):
                y1, x1 = min(h, y + side), min(w, x + side)
                n = sat[y1][x1] - sat[y][x1] - sat[y1][x] + sat[y][x]
                if n > best:
                    best, x0, y0 = n, x + side // 2, y + side // 2
        rad = side // 2
    n = sx = sy = 0
    for y in range(max(0, y0 - rad), min(h, y0 + rad + 1)):
        for x in range(max(0, x0 - rad), min(w, x0 + rad + 1)):
            if mask[y * w + x]:
                n += 1
                sx += x
                sy += y
    print(n, round(sx / n) if n else -1, round(sy / n) if n else -1)


def diff(a, b):
    wa, ha, pa = load(a)
    wb, hb, pb = load(b)
    if (wa, ha) != (wb, hb):
        print(1.0)
        return
    changed = sum(1 for i in range(0, len(pa), 3)
                  if abs(pa[i] - pb[i]) + abs(pa[i + 1] - pb[i + 1]) + abs(pa[i + 2] - pb[i + 2]) > 60)
    print(f"{changed / (wa * ha):.4f}")


def bar(path):
    w, h, px = load(path)
    row = 8 * w * 3
    n = sum(1 for x in range(w) if px[row + x * 3 + 2] > 60 and px[row + x * 3 + 2] > px[row + x * 3] + 30)
    print(f"{n / w:.3f}")


def main(argv):
    if len(argv) >= 3 and argv[1] == "card":
        card(argv[2])
    elif len(argv) == 3 and argv[1] == "blob":
        blob(argv[2])
    elif len(argv) == 6 and argv[1] == "blob":
        blob(argv[2], int(argv[3]), int(argv[4]), int(argv[5]))
    elif len(argv) == 4 and argv[1] == "diff":
        diff(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "bar":
        bar(argv[2])
    elif len(argv) == 3 and argv[1] == "size":
        w, h, _ = load(argv[2])
        print(w, h)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
