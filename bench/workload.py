#!/usr/bin/env python3
"""Writes the benchmark workloads in the program's data format, from a fixed
seed, so every run times the same data.

  workload.py W1 > w1.txt    1000 sets x 200 points of a biased period sine
  workload.py W4 > w4.txt    one set of 1 000 000 points of the same model
"""
import math
import random
import sys


def biased_sine_set(rnd, xs):
    a0 = rnd.uniform(1, 5)
    a1 = rnd.uniform(20, 60)
    a2 = rnd.uniform(0, a1)
    a3 = rnd.choice((-1, 1)) * rnd.uniform(1, 10)
    noise = a0 * rnd.uniform(0.05, 0.2)
    lines = [f"// A0={a0:.6g} A1={a1:.6g} A2={a2:.6g} A3={a3:.6g}"]
    for x in xs:
        y = a0 * math.sin(2 * math.pi * (x + a2) / a1) + a3 + rnd.gauss(0, noise)
        lines.append(f"{x:.9g}\t{y:.9g}\t{noise:.6g}")
    return lines


def main():
    which = sys.argv[1] if len(sys.argv) > 1 else "W1"
    rnd = random.Random(20261208)
    out = sys.stdout
    if which == "W1":
        for _ in range(1000):
            out.write("\n".join(biased_sine_set(rnd, range(200))) + "\n")
    elif which == "W4":
        n = 1_000_000
        xs = (200.0 * i / (n - 1) for i in range(n))
        out.write("\n".join(biased_sine_set(rnd, xs)) + "\n")
    else:
        sys.exit(f"unknown workload {which}; use W1 or W4")


if __name__ == "__main__":
    main()
