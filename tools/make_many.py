#!/usr/bin/env python3
"""Writes N small titrations of one-constant acids as the batch tool's tab tables, for scale
runs: python3 tools/make_many.py N FOLDER (15 spectra at pH 2..9, 61 points at 300..360 nm,
pKa 4.0..5.0 by file, deterministic noise)."""
import math
import os
import random
import sys


def main():
    if len(sys.argv) != 3 or not sys.argv[1].isdigit():
        sys.exit("usage: make_many.py N FOLDER")
    n, folder = int(sys.argv[1]), sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(1)
    conc = 5e-5
    ph = [2 + 0.5 * i for i in range(15)]
    wl = list(range(300, 361))
    for f in range(n):
        pka = 4 + (f % 101) / 100
        rows = ["\t".join([f"{conc:g}"] + [f"{p:.2f}" for p in ph])]
        for w in wl:
            e1 = 8000 * math.exp(-((w - 315) / 12) ** 2)
            e2 = 12000 * math.exp(-((w - 345) / 12) ** 2)
            cells = [str(w)]
            for p in ph:
                a1 = 1 / (1 + 10 ** (p - pka))
                a = conc * (a1 * e1 + (1 - a1) * e2) + rng.gauss(0, 0.002)
                cells.append(f"{a:.4f}")
            rows.append("\t".join(cells))
        with open(os.path.join(folder, f"acid{f:05d}.txt"), "w") as out:
            out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
