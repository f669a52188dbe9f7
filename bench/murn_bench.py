#!/usr/bin/env python3
"""Compiler benchmark of murn, run by hand (not by the test suite).

Compiles shaders of growing size and prints the wall time and peak resident
memory of each run, so that the growth with the size can be read off: a long
run of statements, a long string literal and many distinct string constants.
Each row should take about as many times longer as it is larger.

    bench/murn_bench.py [--murn build/bin/murn] [--scale 1,4,16]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def statements(n):
    return "surface s() {\n float x = 0;\n" + " x = x + 1;\n" * n + " Ci = x;\n}\n"


def literal(n):
    return 'surface s() {\n printf("%s\\n", "' + "a" * n + '");\n}\n'


def constants(n):
    # Each string constant is a local of the shader: stay under the limit.
    body = "".join(' a = "s%d";\n' % (i % 4000) for i in range(n))
    return "surface s() {\n string a;\n" + body + "}\n"


KINDS = [("statements", statements, 25000), ("literal bytes", literal, 1 << 20),
         ("string assignments", constants, 25000)]


def run_measured(murn, source, workdir):
    path = os.path.join(workdir, "s.sl")
    with open(path, "w") as f:
        f.write(source)
    start = time.monotonic()
    proc = subprocess.Popen([murn, "-q", "-o", "s.murn", "s.sl"], cwd=workdir,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    return time.monotonic() - start, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--murn", default=os.path.join(ROOT, "build", "bin", "murn"))
    parser.add_argument("--scale", default="1,4,16")
    args = parser.parse_args()
    if not os.access(args.murn, os.X_OK):
        sys.exit("no murn at %s (build first)" % args.murn)
    print("%20s %12s %10s %10s" % ("kind", "size", "wall s", "peak MB"))
    for kind, make, base in KINDS:
        for scale in [int(s) for s in args.scale.split(",") if s]:
            with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
                wall, peak_kb, status = run_measured(args.murn, make(base * scale), work)
            note = "" if status == 0 else "  (exit status %d)" % status
            print("%20s %12d %10.2f %10.1f%s" % (kind, base * scale, wall, peak_kb / 1024.0, note))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
