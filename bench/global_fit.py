#!/usr/bin/env python3
"""Times the global fit on W1 (1000 sets x 200 points of model 12) with the
period A1 shared (one shared, three local parameters per set), against the
separate fits alone; the peak memory at 250, 500 and 1000 sets; and, with
--scipy, SciPy's least_squares on the concatenated residuals with a sparse
Jacobian pattern from the same start.

  bench/global_fit.py QUILLON W1FILE [--scipy] [--repeat N]
  bench/global_fit.py QUILLON --shared-period N [--scipy]

--precise runs quillon with the precise gradient (central differences).

W1's sets each have a period of their own, so sharing it fits a model the
data do not follow; --shared-period N writes N sets of W1's shape whose
period truly is one (40), for the comparison of the optimum and the error.
"""
import math
import random
import json
import resource
import subprocess
import sys
import tempfile
import time


def run(quillon, args, path):
    """Wall time, peak memory (KB) and standard output of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.perf_counter()
    out = subprocess.run([quillon, *args, path], capture_output=True, check=True, text=True).stdout
    elapsed = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return elapsed, max(peak, before), out


def best_of(quillon, args, path, repeat):
    times = [run(quillon, args, path)[0] for _ in range(repeat)]
    return min(times)


def first_sets(path, count):
    """A file of the first count sets of path."""
    text = open(path).read().split("// ")[1 : count + 1]
    tmp = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
    tmp.write("".join("// " + s for s in text))
    tmp.close()
    return tmp.name


def memory_of(quillon, path):
    """Peak resident memory of a separate and of a shared run, in a fresh process each."""
    out = []
    for args in (["-m", "12"], ["-m", "12", "--share", "1"]):
        res = subprocess.run(["/usr/bin/time", "-f", "%M", quillon, *args, path],
                             capture_output=True, text=True, check=True)
        out.append(int(res.stderr.strip().splitlines()[-1]))
    return out


def scipy_compare(quillon, path):
    import numpy as np
    from scipy.optimize import least_squares
    from scipy.sparse import lil_matrix
    from scipy.sparse.linalg import spsolve

    report = json.loads(run(quillon, ["-m", "12", "--share", "1", "--format", "json", *EXTRA],
                            path)[2])
    sets = []
    for block in open(path).read().split("// ")[1:]:
        rows = [list(map(float, l.split())) for l in block.splitlines()[1:] if l.strip()]
        sets.append(np.array(rows))
    starts = [s["fits"][0]["parameters"] for s in report["sets"]]
    k = len(sets)
    n = [len(s) for s in sets]
    # The start the global fit takes: the separate periods weighed by their
    # inverse variances.
    errors = np.array([s["fits"][0]["errors"][1] for s in report["sets"]])
    periods = np.array([p[1] for p in starts])
    p0 = [float(np.sum(periods / errors**2) / np.sum(1 / errors**2))]
    for p in starts:
        p0 += [p[0], p[2], p[3]]
    p0 = np.array(p0)

    # Every set is evaluated at once: the points of all sets side by side,
    # with each point's set index picking its local parameters.
    x = np.concatenate([s[:, 0] for s in sets])
    y = np.concatenate([s[:, 1] for s in sets])
    sd = np.concatenate([s[:, 2] for s in sets])
    owner = np.repeat(np.arange(k), n)

    def residuals(p):
        local = p[1:].reshape(k, 3)[owner]
        f = local[:, 0] * np.sin(2 * np.pi * (x + local[:, 1]) / p[0]) + local[:, 2]
        return (f - y) / sd

    pattern = lil_matrix((sum(n), 1 + 3 * k), dtype=int)
    row = 0
    for i in range(k):
        pattern[row : row + n[i], 0] = 1
        pattern[row : row + n[i], 1 + 3 * i : 4 + 3 * i] = 1
        row += n[i]
    start = time.perf_counter()
    fit = least_squares(residuals, p0, jac_sparsity=pattern, method="trf", x_scale="jac",
                        ftol=1e-10, xtol=1e-10, gtol=1e-10)
    elapsed = time.perf_counter() - start
    jac = fit.jac.tocsc()
    e0 = np.zeros(jac.shape[1])
    e0[0] = 1.0
    column = spsolve((jac.T @ jac).tocsc(), e0)
    chisq = float(np.sum(fit.fun ** 2))
    return {
        "scipy_seconds": elapsed,
        "scipy_chisq": chisq,
        "scipy_shared": float(fit.x[0]),
        "scipy_shared_error": float(np.sqrt(column[0])),
        "quillon_chisq": report["global"]["chisq"],
        "quillon_shared": report["global"]["shared"][0]["value"],
        "quillon_shared_error": report["global"]["shared"][0]["error"],
    }


def shared_period_file(count):
    """count sets x 200 points of W1's model with one period, from a fixed seed."""
    rnd = random.Random(12)
    tmp = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
    for _ in range(count):
        a0, a2 = rnd.uniform(1, 5), rnd.uniform(0, 40)
        a3 = rnd.choice((-1, 1)) * rnd.uniform(1, 10)
        noise = a0 * rnd.uniform(0.05, 0.2)
        tmp.write(f"// A0={a0:.6g} A1=40 A2={a2:.6g} A3={a3:.6g}\n")
        for i in range(200):
            y = a0 * math.sin(2 * math.pi * (i + a2) / 40) + a3 + rnd.gauss(0, noise)
            tmp.write(f"{i}\t{y:.9g}\t{noise:.6g}\n")
    tmp.close()
    return tmp.name


# Options given to every quillon run: --precise when asked for.
EXTRA = ["--precise"] if "--precise" in sys.argv else []


def main():
    quillon, path = sys.argv[1], sys.argv[2]
    if path == "--shared-period":
        path = shared_period_file(int(sys.argv[3]))
    repeat = int(sys.argv[sys.argv.index("--repeat") + 1]) if "--repeat" in sys.argv else 3
    separate = best_of(quillon, ["-m", "12", *EXTRA], path, repeat)
    shared = best_of(quillon, ["-m", "12", "--share", "1", *EXTRA], path, repeat)
    print(f"separate fits:            {separate:.3f} s")
    print(f"separate + global fit:    {shared:.3f} s")
    print(f"global fit alone:         {shared - separate:.3f} s "
          f"({(shared - separate) / separate:.2f} x the separate fits)")
    for count in (250, 500, 1000):
        sep_kb, glob_kb = memory_of(quillon, first_sets(path, count))
        print(f"{count:5d} sets: peak memory separate {sep_kb} KB, with the global fit {glob_kb} KB")
    if "--scipy" in sys.argv:
        r = scipy_compare(quillon, path)
        for key, value in r.items():
            print(f"{key:22s} {value:.10g}")
        print(f"chi-square relative difference {abs(r['scipy_chisq'] - r['quillon_chisq']) / r['quillon_chisq']:.3g}")
        print(f"shared error relative difference "
              f"{abs(r['scipy_shared_error'] - r['quillon_shared_error']) / r['quillon_shared_error']:.3g}")
        print(f"quillon total (separate + global) {shared:.3f} s; SciPy {r['scipy_seconds']:.3f} s "
              f"({r['scipy_seconds'] / shared:.2f} x)")


if __name__ == "__main__":
    main()
