#!/usr/bin/env python3
"""Writes the vented-box alignment tables shipped in resources/Alignments.

A vented box with total Q Qt, loss Q QL, compliance ratio a = Vas/Vb and
tuning ratio h = fb/Fs is the high-pass s^4 / (s^4 + a1 s^3 + a2 s^2 +
a3 s + 1) with
    a1 = 1/(sqrt(h) Qt) + sqrt(h)/QL
    a2 = (a + 1 + h^2)/h + 1/(QL Qt)
    a3 = sqrt(h)/Qt + 1/(sqrt(h) QL).
Its squared magnitude has the denominator w^8 + A1 w^6 + A2 w^4 + A3 w^2 + 1
with A1 = a1^2 - 2 a2, A2 = a2^2 - 2 a1 a3 + 2, A3 = a3^2 - 2 a2.

QB3-B4: A1 = A2 = 0, A3 >= 0 (flat to the sixth power of 1/w, a third-order
slope above the cut-off, small boxes tuned high; up to the fourth-order
Butterworth, where A3 reaches 0). C4: the equal-ripple high-pass, each
ripple solved for h and Qt under the loss.
"""
import math
import os
import sys

LOSSES = (5, 7, 10, 15, 100)


def coefficients(qt, ql, h):
    u = math.sqrt(h)
    return 1 / (u * qt) + u / ql, 1 / (u * ql) + u / qt


def bisect(f, lo, hi, steps=200):
    flo = f(lo)
    for _ in range(steps):
        mid = 0.5 * (lo + hi)
        fm = f(mid)
        if (fm < 0) == (flo < 0):
            lo, flo = mid, fm
        else:
            hi = mid
    return 0.5 * (lo + hi)


def qb3_tuning(qt, ql):
    """h with A1 = A2 = 0, the root nearest the lossless one."""
    def f(h):
        a1, a3 = coefficients(qt, ql, h)
        return a1 ** 4 / 4 - 2 * a1 * a3 + 2
    lossless = 1 / (2 * math.sqrt(max(2 / (qt * qt) - 2, 1e-9)) * qt * qt)
    grid = [0.05 * 1.02 ** k for k in range(300)]
    roots = [bisect(f, x, y) for x, y in zip(grid, grid[1:]) if (f(x) < 0) != (f(y) < 0)]
    if not roots:
        return None
    return min(roots, key=lambda r: abs(r - lossless))


def qb3_row(qt, ql):
    h = qb3_tuning(qt, ql)
    if h is None:
        return None
    a1, a3 = coefficients(qt, ql, h)
    a2 = a1 * a1 / 2
    alpha = h * (a2 - 1 / (ql * qt)) - 1 - h * h
    return alpha, h, a3 * a3 - 2 * a2


def chebyshev_highpass(ripple_db):
    """a1, a2, a3 of the monic fourth-order equal-ripple high-pass with unit constant."""
    eps = math.sqrt(10 ** (ripple_db / 10) - 1)
    v = math.asinh(1 / eps) / 4
    poly = [1 + 0j]
    for k in (1, 2, 3, 4):
        theta = (2 * k - 1) * math.pi / 8
        p = complex(-math.sinh(v) * math.sin(theta), math.cosh(v) * math.cos(theta))
        q = 1 / p  # the low-pass pole mirrored into the high-pass
        poly = [c - q * d for c, d in zip(poly + [0], [0] + poly)]
    b = [c.real for c in poly]  # s^4 + b1 s^3 + b2 s^2 + b3 s + b4
    c = b[4] ** 0.25
    return b[1] / c, b[2] / c ** 2, b[3] / c ** 3


def c4_row(ripple_db, ql):
    a1, a2, a3 = chebyshev_highpass(ripple_db)
    # a3 = u^2 a1 - u^3/QL + 1/(u QL) with u = sqrt(h), then 1/Qt = u a1 - u^2/QL.
    g = lambda u: u * u * a1 - u ** 3 / ql + 1 / (u * ql) - a3
    grid = [0.05 * 1.01 ** k for k in range(500)]
    roots = [bisect(g, x, y) for x, y in zip(grid, grid[1:]) if (g(x) < 0) != (g(y) < 0)]
    if not roots:
        return None
    u = min(roots, key=lambda r: abs(r - math.sqrt(a3 / a1)))
    inv_qt = u * a1 - u * u / ql
    if inv_qt <= 0:
        return None
    qt, h = 1 / inv_qt, u * u
    alpha = h * (a2 - 1 / (ql * qt)) - 1 - h * h
    return qt, alpha, h


def write(path, title, blocks, comment):
    with open(path, "w", newline="\r\n") as f:
        f.write(f"; {comment}\n; Written by tools/make-alignments.py.\n")
        f.write(f"Title = {title}\nType = Vented\n")
        for ql, rows in blocks:
            f.write(f"\nQL = {ql}\n;  Qts      a=Vas/Vb  h=fb/Fs\n")
            for qt, alpha, h in rows:
                f.write(f"{qt:.4f}   {alpha:.4f}   {h:.4f}\n")


def qb3_blocks():
    blocks = []
    for ql in LOSSES:
        rows = []
        qt = 0.15
        while qt < 0.6:
            row = qb3_row(qt, ql)
            if row and row[2] < 0:
                break
            if row and row[0] > 0:
                rows.append((qt, row[0], row[1]))
            qt = round(qt + 0.01, 4)
        # The Butterworth end of the family, where A3 reaches zero.
        end = bisect(lambda q: qb3_row(q, ql)[2], rows[-1][0], qt)
        alpha, h, _ = qb3_row(end, ql)
        if end - rows[-1][0] > 0.0005:
            rows.append((end, alpha, h))
        blocks.append((ql, rows))
    return blocks


def c4_blocks(butterworth):
    blocks = []
    for ql, b4 in zip(LOSSES, butterworth):
        rows = [b4]  # no ripple: where the QB3-B4 family ends
        for k in range(161):
            ripple = 1e-4 * 10 ** (k / 40)  # 0.0001 to 1 dB
            row = c4_row(ripple, ql)
            if row and row[1] > 0 and (not rows or row[0] > rows[-1][0] + 0.004):
                rows.append(row)
        blocks.append((ql, rows))
    return blocks


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources", "Alignments")
    os.makedirs(folder, exist_ok=True)
    qb3 = qb3_blocks()
    write(os.path.join(folder, "QB3_B4.ALN"), "QB3-B4", qb3,
          "Quasi third-order Butterworth up to the fourth-order Butterworth (no peak above the passband).")
    write(os.path.join(folder, "C4.ALN"), "C4", c4_blocks([rows[-1] for _, rows in qb3]),
          "Fourth-order equal ripple, up to 1 dB above the passband.")


if __name__ == "__main__":
    main()
