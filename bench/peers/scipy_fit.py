#!/usr/bin/env python3
"""Peer for the benchmark: fits every set of a workload file with SciPy's
curve_fit (method "lm", finite differences), one set after another.
Usage: scipy_fit.py MODEL_ID FILE; prints "ok p0 p1 ..." or "fail" per set."""
import sys

import numpy as np
from scipy.optimize import curve_fit

MODELS = {
    12: lambda x, a0, a1, a2, a3: a0 * np.sin(2 * np.pi * (x + a2) / a1) + a3,
    22: lambda x, a0, a1, a2: a0 / (1 + a1 * np.exp(-a2 * x)),
    23: lambda x, a0, a1: a0 / (1 + a1 / x**2),
    29: lambda x, a0, a1, a2: a0 * np.exp(-0.5 * ((x - a1) / a2) ** 2),
}


def read_sets(path):
    """Yields (start, x, y, sd) per set; the start is the memo's truth times 1.05."""
    start, rows = None, []
    with open(path) as f:
        for line in f:
            if line.startswith("//"):
                if rows:
                    yield start, np.array(rows).T
                start = [1.05 * float(t.split("=")[1]) for t in line[2:].split()]
                rows = []
            elif line.strip():
                rows.append([float(v) for v in line.split()])
    if rows:
        yield start, np.array(rows).T


def main():
    model = MODELS[int(sys.argv[1])]
    out = []
    for start, (x, y, sd) in read_sets(sys.argv[2]):
        try:
            p, _ = curve_fit(model, x, y, p0=start, sigma=sd, absolute_sigma=True, method="lm")
            out.append("ok " + " ".join(repr(v) for v in p))
        except (RuntimeError, ValueError):
            out.append("fail")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
