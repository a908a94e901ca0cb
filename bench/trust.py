#!/usr/bin/env python3
"""The answers a user gets from the program's own estimates: how many sets
of a workload end at the least-squares minimum (chi-square no higher than at
the true parameters in the set's memo line), and the wall time, for the
plain run and with --search-starts and/or --precise (a benchmark, not a test).

  /usr/bin/python3 bench/trust.py QUILLON WORKLOAD.txt MODEL [--runs 3]
      [--extra "--jobs 1"]

The workloads come from bench/workload.py; their memo lines hold the truth.
"""
import argparse
import json
import math
import statistics
import subprocess
import sys
import time

import numpy as np

TAU = 2 * math.pi

# The catalogue models of the workloads.
MODELS = {
    12: lambda a, x: a[0] * np.sin(TAU * (x + a[2]) / a[1]) + a[3],
    22: lambda a, x: a[0] / (1 + a[1] * np.exp(-a[2] * x)),
    23: lambda a, x: a[0] / (1 + a[1] / x**2),
    29: lambda a, x: a[0] * np.exp(-0.5 * ((x - a[1]) / a[2]) ** 2),
}


def read_sets(path):
    sets, truth, rows = [], None, []
    with open(path) as f:
        for line in f:
            if line.startswith("//"):
                if rows:
                    sets.append((truth, np.array(rows)))
                truth = [float(t.split("=")[1]) for t in line[2:].split()]
                rows = []
            elif line.strip():
                rows.append([float(v) for v in line.split()])
    if rows:
        sets.append((truth, np.array(rows)))
    return sets


def at_minimum(sets, report, model):
    f = MODELS[model]
    count = 0
    for (truth, data), s in zip(sets, report["sets"]):
        fit = s["fits"][0]
        if fit["chisq_dof"] is None:
            continue
        chi = fit["chisq_dof"] * fit["dof"]
        x, y, sd = data[:, 0], data[:, 1], data[:, 2]
        chi_true = float(np.sum(((f(truth, x) - y) / sd) ** 2))
        count += chi <= chi_true * (1 + 1e-9)
    return count


def run(quillon, path, model, options, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        out = subprocess.run([quillon, "-m", str(model), "--format", "json", *options, path],
                             check=True, capture_output=True, text=True).stdout
        times.append(time.perf_counter() - start)
    return statistics.median(times), json.loads(out)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("quillon")
    p.add_argument("workload")
    p.add_argument("model", type=int)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--extra", default="")
    args = p.parse_args()
    sets = read_sets(args.workload)
    extra = args.extra.split()
    print(f"{args.workload}, model {args.model}, {len(sets)} sets, own estimates")
    for name, options in (("plain", []), ("--search-starts", ["--search-starts"]),
                          ("--precise", ["--precise"]),
                          ("both", ["--search-starts", "--precise"])):
        wall, report = run(args.quillon, args.workload, args.model, options + extra, args.runs)
        print(f"  {name:16s} wall {wall:7.3f} s   at the minimum {at_minimum(sets, report, args.model):5d}"
              f" of {len(sets)}")


if __name__ == "__main__":
    sys.exit(main())
