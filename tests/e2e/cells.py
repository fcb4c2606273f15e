#!/usr/bin/env python3
"""Compares where the cards lie on a printed sheet with a reference sheet.

Usage: cells.py PRINTED.pdf EXPECTED.pdf [--space A,B,C,D[,OX,OY]] [--tolerance MM]

Both PDFs are rendered at 600 dpi. On each page, each of the ten cells of the
print space (margins A, B, gaps C, D in mm, shift OX, OY in 0.1 mm; the
program's defaults 10,7,3,3 when not given) is searched, with 1.4 mm to spare
on each side, for its ink: the box round every pixel darker than mid grey.
A cell must hold ink on both sheets or on neither, and each of its box's four
edges must lie within the tolerance (0.2 mm) of the reference's. The boxes'
edges are compared rather than the cells' corners because a card has no
visible border; comparing all four also catches a scaled card. Prints one
line per cell and the largest deviation; exits 1 when a cell is off.
"""
import argparse
import os
import subprocess
import sys
import tempfile

DPI = 600
CARD_W_MM, CARD_H_MM = 91.0, 55.0
COLUMNS, ROWS = 2, 5
# Less than half the narrowest gap the defaults leave, so no window reaches
# into the next cell's card.
PAD_MM = 1.4
# Bytes below mid grey become 1, the rest 0.
INK = bytes(1 if v < 128 else 0 for v in range(256))


def px(mm):
    return mm * DPI / 25.4


def mm(pixels):
    return pixels * 25.4 / DPI


def render(pdf, folder, stem):
    """The pages of `pdf` as 8-bit grey images: a list of (width, height, bytes)."""
    prefix = os.path.join(folder, stem)
    subprocess.run(["pdftoppm", "-r", str(DPI), "-gray", pdf, prefix], check=True)
    pages = []
    for name in sorted(n for n in os.listdir(folder) if n.startswith(stem + "-")):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        # P5, width, height, maxval, then one byte per pixel.
        fields, pos = [], 2
        while len(fields) < 3:
            while data[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(int(data[pos:end]))
            pos = end
        width, height, maxval = fields
        if data[:2] != b"P5" or maxval != 255:
            sys.exit(f"cells.py: {name} is not an 8-bit PGM")
        pages.append((width, height, data[pos + 1:]))
    return pages


def windows(space):
    a, b, c, d, ox, oy = space
    left, top = a + ox / 10.0, b + oy / 10.0
    for r in range(ROWS):
        for k in range(COLUMNS):
            x = left + k * (CARD_W_MM + c)
            y = top + r * (CARD_H_MM + d)
            yield (x - PAD_MM, y - PAD_MM, x + CARD_W_MM + PAD_MM, y + CARD_H_MM + PAD_MM)


def ink_box(page, window):
    """Left, top, right, bottom of the ink in `window` (mm), in pixels; None if blank."""
    width, height, data = page
    x0, y0 = max(0, round(px(window[0]))), max(0, round(px(window[1])))
    x1, y1 = min(width, round(px(window[2]))), min(height, round(px(window[3])))
    left = top = right = bottom = None
    for y in range(y0, y1):
        row = data[y * width + x0:y * width + x1].translate(INK)
        first = row.find(1)
        if first < 0:
            continue
        last = row.rfind(1)
        if top is None:
            top = y
            left, right = first, last
        else:
            left, right = min(left, first), max(right, last)
        bottom = y
    if top is None:
        return None
    return (x0 + left, top, x0 + right + 1, bottom + 1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("printed")
    ap.add_argument("expected")
    ap.add_argument("--space", default="10,7,3,3")
    ap.add_argument("--tolerance", type=float, default=0.2)
    args = ap.parse_args()
    space = [float(v) for v in args.space.split(",")]
    space += [0.0] * (6 - len(space))

    with tempfile.TemporaryDirectory() as folder:
        printed = render(args.printed, folder, "printed")
        expected = render(args.expected, folder, "expected")
    if len(printed) != len(expected):
        print(f"cells.py: {len(printed)} pages printed, {len(expected)} expected")
        return 1
    worst, faults = 0.0, []
    for n, (pp, ep) in enumerate(zip(printed, expected), 1):
        if pp[:2] != ep[:2]:
            print(f"cells.py: page {n} is {pp[0]}x{pp[1]} pixels, not {ep[0]}x{ep[1]}")
            return 1
        for i, window in enumerate(windows(space), 1):
            got, want = ink_box(pp, window), ink_box(ep, window)
            where = f"page {n} cell {i}"
            if got is None and want is None:
                print(f"{where}: blank on both")
                continue
            if got is None or want is None:
                faults.append(f"{where}: {'blank' if got is None else 'ink'} where the reference has "
                              f"{'ink' if want is not None else 'none'}")
                continue
            d = [mm(g - w) for g, w in zip(got, want)]
            dev = max(abs(v) for v in d)
            worst = max(worst, dev)
            print(f"{where}: at {mm(want[0]):.2f},{mm(want[1]):.2f} mm; edges off by "
                  + " ".join(f"{v:+.3f}" for v in d) + " mm")
            if dev > args.tolerance:
                faults.append(f"{where} is {dev:.3f} mm off (tolerance {args.tolerance} mm)")
    print(f"largest deviation {worst:.3f} mm")
    for f in faults:
        print("cells.py: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
