#!/usr/bin/env python3
"""Times quillon.fit_many on a workload file against the command line on the
same file (a benchmark, not a test): the sets are read into numpy arrays
first (not timed), then fitted in one call on all cores; the parameters must
equal the command line's bit for bit.

  PYTHONPATH=build/src/python /usr/bin/python3 bench/python_fit_many.py w1.txt 12 [runs]
"""
import json
import os
import statistics
import subprocess
import sys
import time

import numpy as np

import quillon


def read_sets(path):
    sets, rows = [], []
    with open(path) as f:
        for line in f:
            if line.startswith("//"):
                if rows:
                    sets.append(np.array(rows).T)
                rows = []
            elif line.strip():
                rows.append([float(v) for v in line.split()[:3]])
    if rows:
        sets.append(np.array(rows).T)
    return [tuple(s) for s in sets]


def main():
    path, model = sys.argv[1], int(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    here = os.path.dirname(os.path.abspath(__file__))
    program = os.environ.get("QUILLON", os.path.join(here, "..", "build", "src", "cli", "quillon"))
    sets = read_sets(path)
    module_times, program_times = [], []
    for _ in range(runs):
        start = time.perf_counter()
        results = quillon.fit_many(model, sets)
        module_times.append(time.perf_counter() - start)
        start = time.perf_counter()
        out = subprocess.run([program, "-m", str(model), "--format", "json", path],
                             capture_output=True, text=True, check=True).stdout
        program_times.append(time.perf_counter() - start)
    report = json.loads(out)["sets"]
    same = all(r is not None and list(r.params) == s["fits"][0]["parameters"]
               for r, s in zip(results, report))
    m, p = statistics.median(module_times), statistics.median(program_times)
    print(f"{len(sets)} sets: fit_many {m:.3f} s, command line {p:.3f} s, ratio {m / p:.2f}; "
          f"parameters {'identical' if same else 'DIFFER'}")


if __name__ == "__main__":
    main()
