#!/usr/bin/env python3
"""Writes the benchmark workloads in the program's data format, from a fixed
seed, so every run times the same data. Each set starts with a memo line
that holds the true parameters ("// A0=... A1=...").

  workload.py W1 > w1.txt    1000 sets x 200 points of a biased period sine (id 12)
  workload.py W2 > w2.txt    300 sets x 50 points of a logistic (id 22)
  workload.py W3 > w3.txt    300 sets x 100 points of a Gaussian peak (id 29)
  workload.py W4 > w4.txt    one set of 1 000 000 points of W1's model (id 12)
  workload.py W5 > w5.txt    300 sets x 40 points of Hill n = 2 (id 23)
  workload.py W6 > w6.txt    100 000 sets x 3 points of Hill n = 2 (id 23)

W4 and W6 take a size: "workload.py W4 500000" writes 500 000 points,
"workload.py W6 50000" 50 000 sets (the scaling runs of the benchmark).
"""
import math
import random
import sys


def write_set(out, params, xs, f, noise, rnd):
    names = " ".join(f"A{i}={a:.6g}" for i, a in enumerate(params))
    lines = [f"// {names}"]
    for x in xs:
        y = f(x) + rnd.gauss(0, noise)
        lines.append(f"{x:.9g}\t{y:.9g}\t{noise:.6g}")
    out.write("\n".join(lines) + "\n")


def biased_sine(out, rnd, xs):
    a0 = rnd.uniform(1, 5)
    a1 = rnd.uniform(20, 60)
    a2 = rnd.uniform(0, a1)
    a3 = rnd.choice((-1, 1)) * rnd.uniform(1, 10)
    noise = a0 * rnd.uniform(0.05, 0.2)
    f = lambda x: a0 * math.sin(2 * math.pi * (x + a2) / a1) + a3
    write_set(out, (a0, a1, a2, a3), xs, f, noise, rnd)


def logistic(out, rnd):
    a0, a1, a2 = rnd.uniform(5, 20), rnd.uniform(5, 50), rnd.uniform(0.1, 0.5)
    f = lambda x: a0 / (1 + a1 * math.exp(-a2 * x))
    write_set(out, (a0, a1, a2), range(50), f, a0 * rnd.uniform(0.02, 0.05), rnd)


def gaussian(out, rnd):
    a0, a1, a2 = rnd.uniform(1, 10), rnd.uniform(30, 70), rnd.uniform(5, 15)
    f = lambda x: a0 * math.exp(-0.5 * ((x - a1) / a2) ** 2)
    write_set(out, (a0, a1, a2), range(100), f, a0 * rnd.uniform(0.02, 0.05), rnd)


def hill(out, rnd, xs=tuple(0.5 * (i + 1) for i in range(40))):
    a0, a1 = rnd.uniform(1, 10), rnd.uniform(1, 100)
    f = lambda x: a0 / (1 + a1 / x**2)
    write_set(out, (a0, a1), xs, f, a0 * rnd.uniform(0.02, 0.05), rnd)


def main():
    which = sys.argv[1] if len(sys.argv) > 1 else "W1"
    size = int(sys.argv[2]) if len(sys.argv) > 2 else None
    rnd = random.Random(20261208)
    out = sys.stdout
    if which == "W1":
        for _ in range(1000):
            biased_sine(out, rnd, range(200))
    elif which == "W4":
        n = size or 1_000_000
        biased_sine(out, rnd, (200.0 * i / (n - 1) for i in range(n)))
    elif which == "W6":
        # Three points from X = 2: the Hill curve's rise, enough for two parameters.
        for _ in range(size or 100_000):
            hill(out, rnd, (2.0, 6.0, 12.0))
    elif which in ("W2", "W3", "W5"):
        make = {"W2": logistic, "W3": gaussian, "W5": hill}[which]
        for _ in range(300):
            make(out, rnd)
    else:
        sys.exit(f"unknown workload {which}; use W1..W6")


if __name__ == "__main__":
    main()
