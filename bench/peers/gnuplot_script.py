#!/usr/bin/env python3
"""Peer for the benchmark: writes gnuplot's data (sets as index blocks) and a
script that fits every set with gnuplot's fit from the same start as the
other peers. Usage: gnuplot_script.py MODEL_ID FILE OUT_DIR; the script is
OUT_DIR/fit.gp and prints "ok p0 p1 ..." per set."""
import os
import sys

MODELS = {
    12: ("a0*sin(2*pi*(x+a2)/a1)+a3", 4),
    22: ("a0/(1+a1*exp(-a2*x))", 3),
    23: ("a0/(1+a1/x**2)", 2),
    29: ("a0*exp(-0.5*((x-a1)/a2)**2)", 3),
}


def main():
    formula, count = MODELS[int(sys.argv[1])]
    out_dir = sys.argv[3]
    data = os.path.join(out_dir, "data.txt")
    names = [f"a{i}" for i in range(count)]
    script = ["set fit quiet nolog", "set print '-'", f"f(x)={formula}"]
    index = -1
    with open(sys.argv[2]) as src, open(data, "w") as dst:
        for line in src:
            if line.startswith("//"):
                index += 1
                if index > 0:
                    dst.write("\n\n")
                start = [1.05 * float(t.split("=")[1]) for t in line[2:].split()]
                script.append(";".join(f"{n}={v!r}" for n, v in zip(names, start)))
                script.append(f"fit f(x) '{data}' index {index} using 1:2:3 yerror via "
                              + ",".join(names))
                script.append("print 'ok ', " + ", ' ', ".join(names))
            else:
                dst.write(line)
    with open(os.path.join(out_dir, "fit.gp"), "w") as f:
        f.write("\n".join(script) + "\n")


if __name__ == "__main__":
    main()
