#!/usr/bin/env python3
"""Peer for the benchmark: fits every set of a workload file with SciPy's
curve_fit (method "lm", finite differences), one set after another, reading
the file with numpy as SciPy users do.
Usage: scipy_fit.py MODEL_ID FILE; prints "ok p0 p1 ..." or "fail" per set,
then "seconds R F": the time spent reading and fitting inside the process."""
import re
import sys
import time

import numpy as np
from scipy.optimize import curve_fit

MODELS = {
    12: lambda x, a0, a1, a2, a3: a0 * np.sin(2 * np.pi * (x + a2) / a1) + a3,
    22: lambda x, a0, a1, a2: a0 / (1 + a1 * np.exp(-a2 * x)),
    23: lambda x, a0, a1: a0 / (1 + a1 / x**2),
    29: lambda x, a0, a1, a2: a0 * np.exp(-0.5 * ((x - a1) / a2) ** 2),
}


def read_sets(path):
    """(start, (x, y, sd)) per set; the start is the memo's truth times 1.05.
    The rows of a set are parsed by numpy in one call."""
    with open(path) as f:
        text = f.read()
    sets = []
    for chunk in re.split(r"^//", text, flags=re.M)[1:]:
        memo, _, body = chunk.partition("\n")
        start = [1.05 * float(t.split("=")[1]) for t in memo.split()]
        rows = np.fromstring(body, sep=" ").reshape(-1, 3)
        sets.append((start, rows.T))
    return sets


def main():
    model = MODELS[int(sys.argv[1])]
    began = time.perf_counter()
    sets = read_sets(sys.argv[2])
    read = time.perf_counter()
    out = []
    for start, (x, y, sd) in sets:
        try:
            p, _ = curve_fit(model, x, y, p0=start, sigma=sd, absolute_sigma=True, method="lm")
            out.append("ok " + " ".join(repr(v) for v in p))
        except (RuntimeError, ValueError):
            out.append("fail")
    fitted = time.perf_counter()
    out.append(f"seconds {read - began:.4f} {fitted - read:.4f}")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
