#!/usr/bin/env python3
"""Times the quillon command line on the benchmark workloads W1..W5 and,
where installed, the same fits with SciPy, GSL and gnuplot. A benchmark,
never a test. See "## Benchmark" in README.md."""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# name, model id, sets, points per set
WORKLOADS = [
    ("W1", 12, 1000, 200),
    ("W2", 22, 300, 50),
    ("W3", 29, 300, 100),
    ("W4", 12, 1, 1_000_000),
    ("W5", 23, 300, 40),
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
    with open(path) as f:
        return [[float(v) for v in line.split()[1:]] if line.startswith("ok") else None
                for line in f if line.strip()]


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
        for name, model_id, sets, points in WORKLOADS:
            if only and name not in only:
                continue
            data = os.path.join(work, f"{name}.txt")
            with open(data, "w") as f:
                subprocess.run([sys.executable, os.path.join(HERE, "workload.py"), name],
                               stdout=f, check=True)
            truth = truths(data)
            label = f"{name} {sets} x {points}, id {model_id}"
            out_one, out_all = os.path.join(work, "one.txt"), os.path.join(work, "all.txt")
            base = [args.quillon, "--color", "never", "-m", str(model_id)]

            json_out = os.path.join(work, "report.json")
            timed(base + ["--format", "json", data], json_out)
            converged, error = summary(model_id, quillon_fits(json_out), truth)
            for jobs, out in (("1", out_one), (None, out_all)):
                cmd = base + (["--jobs", jobs] if jobs else []) + [data]
                wall, rss = measure(cmd, args.runs, out)
                rows.append((label, "quillon --jobs " + (jobs or "all"), wall, rss, converged,
                             sets, error))
            with open(out_one, "rb") as a, open(out_all, "rb") as b:
                if a.read() != b.read():
                    print(f"{name}: the report with all cores differs from --jobs 1!",
                          file=sys.stderr)
                    rows.append((label, "OUTPUT DIFFERS", 0, 0, 0, sets, float("nan")))

            for peer, make in peers.items():
                out = os.path.join(work, "peer.txt")
                if make == "gnuplot":
                    subprocess.run([sys.executable, os.path.join(HERE, "peers",
                                                                 "gnuplot_script.py"),
                                    str(model_id), data, work], check=True)
                    cmd = ["gnuplot", os.path.join(work, "fit.gp")]
                else:
                    cmd = make(model_id, data)
                try:
                    wall, rss = measure(cmd, args.runs, out)
                except SystemExit as failure:
                    print(f"{peer} on {name}: {failure}", file=sys.stderr)
                    continue
                converged, error = summary(model_id, peer_fits(out), truth)
                rows.append((label, peer, wall, rss, converged, sets, error))

        lines = ["| workload | tool | wall s (median) | peak MiB | converged | median rel. error |",
                 "|---|---|---:|---:|---:|---:|"]
        for label, tool, wall, rss, converged, sets, error in rows:
            lines.append(f"| {label} | {tool} | {wall:.3f} | {rss / 1024:.1f} | "
                         f"{converged}/{sets} | {error:.3g} |")
        table = "\n".join(lines) + "\n"
        print(table, end="")
        with open(args.out, "w") as f:
            f.write(f"runs per timing: {args.runs}, cores: {os.cpu_count()}\n\n" + table)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
