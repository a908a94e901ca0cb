#!/usr/bin/env python3
"""Times the quillon command line on the benchmark workloads W1..W5 and,
where installed, the same fits with SciPy, GSL and gnuplot. A benchmark,
never a test. See "## Benchmark" in README.md."""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# name, model id, sets, points per set, timed with the peers too
WORKLOADS = [
    ("W1", 12, 1000, 200, True),
    ("W2", 22, 300, 50, True),
    ("W3", 29, 300, 100, True),
    ("W4", 12, 1, 1_000_000, True),
    ("W5", 23, 300, 40, True),
    ("W6", 23, 100_000, 3, False),
]

# The scaling runs: workload, model id, the two sizes (points for W4, sets
# for W6), points per unit of size. Id 0 (a straight line) is the reading
# pass with a trivial fit; the other id is the workload's own fit.
SCALING = [
    ("W4", 0, (500_000, 1_000_000), 1),
    ("W4", 12, (500_000, 1_000_000), 1),
    ("W6", 0, (50_000, 100_000), 3),
    ("W6", 23, (50_000, 100_000), 3),
]


def timed(cmd, stdout_path):
    """Runs cmd once; returns (wall seconds, peak resident KiB). The peak comes
    from /usr/bin/time where present: a child forked from this interpreter
    would count the interpreter's own pages."""
    gnu_time = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None
    rss_file = stdout_path + ".rss"
    full = [gnu_time, "-f", "%M", "-o", rss_file] + cmd if gnu_time else cmd
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        proc = subprocess.Popen(full, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise SystemExit(f"{' '.join(cmd)} failed with status {code}")
    if gnu_time:
        with open(rss_file) as f:
            return wall, int(f.read().split()[-1])
    return wall, usage.ru_maxrss


def measure(cmd, runs, stdout_path):
    results = [timed(cmd, stdout_path) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def measure_in_turn(entries, runs):
    """Times each (cmd, stdout_path) runs times, one run of each in turn, so
    that the host's drift in speed falls on every tool alike; each round
    takes them in another order (shuffled, the same on every bench run), so
    no tool always follows the same one: on a virtual machine a run that
    needs more memory than the one before it pays for the first writes to
    the difference. Returns per entry (median wall, peak RSS), or the
    failure of a command that failed (it is not run again)."""
    walls = [[] for _ in entries]
    peaks = [0] * len(entries)
    failures = [None] * len(entries)
    order = list(range(len(entries)))
    shuffle = random.Random(1)
    for _ in range(runs):
        shuffle.shuffle(order)
        for k in order:
            cmd, out = entries[k]
            if failures[k] is not None:
                continue
            try:
                wall, rss = timed(cmd, out)
            except SystemExit as failure:
                failures[k] = failure
                continue
            walls[k].append(wall)
            peaks[k] = max(peaks[k], rss)
    return [failure if failure is not None else (statistics.median(w), peak)
            for w, peak, failure in zip(walls, peaks, failures)]


def truths(path):
    with open(path) as f:
        return [[float(t.split("=")[1]) for t in line[2:].split()]
                for line in f if line.startswith("//")]


def set_error(model_id, fit, truth):
    """The largest relative error of the parameters every tool reports alike
    (the sine's phase shift is left out: its range differs between tools)."""
    if model_id == 12:
        pairs = [(abs(fit[0]), truth[0]), (abs(fit[1]), truth[1]), (fit[3], truth[3])]
    else:
        pairs = list(zip(fit, truth))
    return max(abs(f - t) / abs(t) for f, t in pairs)


def summary(model_id, fits, truth):
    """fits: per set a parameter list or None. Returns (converged, median error)."""
    errors = [set_error(model_id, f, t) for f, t in zip(fits, truth) if f is not None]
    return len(errors), statistics.median(errors) if errors else float("nan")


def quillon_fits(path):
    with open(path) as f:
        report = json.load(f)
    fits = []
    for s in report["sets"]:
        fit = s["fits"][0] if s["fits"] else None
        fits.append(fit["parameters"] if fit and fit["outcome"] == 1 else None)
    return fits


def peer_fits(path):
    """Per set a parameter list or None; and the peer's own "seconds READ FIT"
    line when it prints one (else None)."""
    fits, inside = [], None
    with open(path) as f:
        for line in f:
            if line.startswith("seconds"):
                inside = [float(v) for v in line.split()[1:]]
            elif line.strip():
                fits.append([float(v) for v in line.split()[1:]] if line.startswith("ok")
                            else None)
    return fits, inside


def sets_at_minimum(model_id, fits, data_path):
    """Sets whose fit has a chi-square no higher than at the true parameters
    (the least-squares minimum, or a point at least as good); None when
    numpy is missing or the model is not one of the workloads'."""
    try:
        import numpy as np
        sys.path.insert(0, HERE)
        from trust import MODELS, read_sets
    except ImportError:
        return None
    if model_id not in MODELS:
        return None
    f, count = MODELS[model_id], 0
    for (truth, rows), fit in zip(read_sets(data_path), fits):
        if fit is None:
            continue
        x, y, sd = rows[:, 0], rows[:, 1], rows[:, 2]
        chi_fit = float(np.sum(((f(fit, x) - y) / sd) ** 2))
        chi_true = float(np.sum(((f(truth, x) - y) / sd) ** 2))
        count += chi_fit <= chi_true * (1 + 1e-9)
    return count


def with_peer_starts(src, dst):
    """Copies a workload, giving every set the peers' starting values (1.05
    times the truth) as "<a[i] = v>" lines, so all tools start alike."""
    with open(src) as f, open(dst, "w") as g:
        for line in f:
            g.write(line)
            if line.startswith("//"):
                for i, token in enumerate(line[2:].split()):
                    g.write(f"<a[{i}] = {1.05 * float(token.split('=')[1])!r}>\n")


def write_workload(name, path, size=None):
    with open(path, "w") as f:
        subprocess.run([sys.executable, os.path.join(HERE, "workload.py"), name]
                       + ([str(size)] if size else []), stdout=f, check=True)


def scaling_table(quillon, runs, work):
    """Time and peak memory of each scaling run at its two sizes, and the
    growth between them per point."""
    lines = ["| workload | model id | size | points | wall s (median) | peak MiB |",
             "|---|---:|---:|---:|---:|---:|"]
    growth = ["| workload | model id | ns per point | bytes per point |", "|---|---:|---:|---:|"]
    for name, model_id, sizes, per_unit in SCALING:
        measured = []
        for size in sizes:
            data = os.path.join(work, f"{name}-{size}.txt")
            write_workload(name, data, size)
            wall, rss = measure([quillon, "--color", "never", "-m", str(model_id), "--jobs", "1",
                                 data], runs, os.path.join(work, "scaling.out"))
            os.remove(data)
            points = size * per_unit
            measured.append((points, wall, rss))
            lines.append(f"| {name} | {model_id} | {size} | {points} | {wall:.3f} | "
                         f"{rss / 1024:.1f} |")
        (p0, t0, r0), (p1, t1, r1) = measured
        growth.append(f"| {name} | {model_id} | {1e9 * (t1 - t0) / (p1 - p0):.0f} | "
                      f"{1024 * (r1 - r0) / (p1 - p0):.0f} |")
    return "\n".join(lines) + "\n\n" + "\n".join(growth) + "\n"


def find_scipy_python():
    for python in ("python3", "/usr/bin/python3"):
        if shutil.which(python) and subprocess.run(
                [python, "-c", "import scipy"], capture_output=True).returncode == 0:
            return python
    return None


def build_gsl_peer(work):
    compiler = shutil.which("cc") or shutil.which("gcc")
    if not compiler or not os.path.exists("/usr/include/gsl/gsl_multifit_nlinear.h"):
        return None
    exe = os.path.join(work, "gsl_fit")
    result = subprocess.run([compiler, "-O2", "-o", exe, os.path.join(HERE, "peers", "gsl_fit.c"),
                             "-lgsl", "-lgslcblas", "-lm"], capture_output=True)
    return exe if result.returncode == 0 else None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("quillon", nargs="?",
                        default=os.path.join(HERE, "..", "build", "src", "cli", "quillon"))
    parser.add_argument("--runs", type=int, default=3, help="runs per timing (median)")
    parser.add_argument("--only", default="", help="comma-separated workloads, e.g. W1,W4")
    parser.add_argument("--no-peers", action="store_true", help="time quillon only")
    parser.add_argument("--scaling", action="store_true",
                        help="also time W4 and W6 at two sizes (growth per point)")
    parser.add_argument("--out", default="bench-results.md", help="where the table is written")
    args = parser.parse_args()
    only = set(filter(None, args.only.split(",")))

    work = tempfile.mkdtemp(prefix="quillon-bench-")
    try:
        peers = {}
        if not args.no_peers:
            python = find_scipy_python()
            if python:
                script = os.path.join(HERE, "peers", "scipy_fit.py")
                peers["SciPy curve_fit lm"] = lambda m, d: [python, script, str(m), d]
            gsl = build_gsl_peer(work)
            if gsl:
                peers["GSL multifit_nlinear"] = lambda m, d: [gsl, str(m), d]
            if shutil.which("gnuplot"):
                peers["gnuplot fit"] = "gnuplot"

        rows = []
        for name, model_id, sets, points, with_peers in WORKLOADS:
            if only and name not in only:
                continue
            data = os.path.join(work, f"{name}.txt")
            write_workload(name, data)
            started = os.path.join(work, f"{name}-started.txt")
            with_peer_starts(data, started)
            truth = truths(data)
            label = f"{name} {sets} x {points}, id {model_id}"
            base = [args.quillon, "--color", "never", "-m", str(model_id)]
            json_out = os.path.join(work, "report.json")
            # quillon from the peers' starting values, on one core and on
            # all; then from its own estimates, as a user runs it, plain and
            # with the start search and the precise gradient.
            trust = ["--search-starts", "--precise"]
            variants = [(started, "1", [], "quillon --jobs 1, peers' starts"),
                        (started, None, [], "quillon --jobs all, peers' starts"),
                        (data, "1", [], "quillon --jobs 1, own estimates"),
                        (data, None, [], "quillon --jobs all, own estimates"),
                        (data, None, trust, "quillon --jobs all, own estimates, "
                                            "--search-starts --precise")]
            # Every tool is timed in turn, one run of each, then again.
            timings = []  # (tool, cmd, out, after): after reads the results
            for source, jobs, extra, tool in variants:
                timed(base + extra + ["--format", "json", source], json_out)
                fits = quillon_fits(json_out)
                converged, error = summary(model_id, fits, truth)
                at_min = sets_at_minimum(model_id, fits, data)
                out = os.path.join(work, f"{tool}.txt")
                cmd = base + extra + (["--jobs", jobs] if jobs else []) + [source]
                one = base + extra + ["--jobs", "1", source] if jobs is None else None
                timings.append((tool, cmd, out, (converged, error, at_min, one)))
            for peer, make in (peers.items() if with_peers else ()):
                out = os.path.join(work, f"peer {peer}.txt")
                if make == "gnuplot":
                    subprocess.run([sys.executable, os.path.join(HERE, "peers",
                                                                 "gnuplot_script.py"),
                                    str(model_id), data, work], check=True)
                    cmd = ["gnuplot", os.path.join(work, "fit.gp")]
                else:
                    cmd = make(model_id, data)
                timings.append((peer, cmd, out, None))
            measured = measure_in_turn([(cmd, out) for _, cmd, out, _ in timings], args.runs)
            for (tool, cmd, out, quillon), result in zip(timings, measured):
                if isinstance(result, SystemExit):
                    print(f"{tool} on {name}: {result}", file=sys.stderr)
                    continue
                wall, rss = result
                if quillon is None:
                    fits, inside = peer_fits(out)
                    converged, error = summary(model_id, fits, truth)
                    at_min = sets_at_minimum(model_id, fits, data)
                    rows.append((label, tool + ", peers' starts", wall, rss, converged, sets,
                                 error, at_min, inside))
                    continue
                converged, error, at_min, one = quillon
                rows.append((label, tool, wall, rss, converged, sets, error, at_min, None))
                if one is not None:
                    check = os.path.join(work, "check-one.txt")
                    timed(one, check)
                    with open(check, "rb") as a, open(out, "rb") as b:
                        if a.read() != b.read():
                            print(f"{name}: the report with all cores differs from --jobs 1!",
                                  file=sys.stderr)
                            rows.append((label, "OUTPUT DIFFERS", 0, 0, 0, sets, float("nan"),
                                         None, None))
            for path in (data, started):
                os.remove(path)

        lines = ["| workload | tool, starts | wall s (median) | in-process read + fit s | "
                 "peak MiB | converged | at the minimum | median rel. error |",
                 "|---|---|---:|---:|---:|---:|---:|---:|"]
        for label, tool, wall, rss, converged, sets, error, at_min, inside in rows:
            inner = f"{inside[0]:.3f} + {inside[1]:.3f}" if inside else ""
            minimum = f"{at_min}/{sets}" if at_min is not None else ""
            lines.append(f"| {label} | {tool} | {wall:.3f} | {inner} | {rss / 1024:.1f} | "
                         f"{converged}/{sets} | {minimum} | {error:.3g} |")
        table = "\n".join(lines) + "\n"
        if args.scaling:
            table += "\n" + scaling_table(args.quillon, args.runs, work)
        print(table, end="")
        with open(args.out, "w") as f:
            f.write(f"runs per timing: {args.runs}, cores: {os.cpu_count()}\n\n" + table)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
