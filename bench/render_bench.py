#!/usr/bin/env python3
"""Rendering benchmark of raylume, run by hand (not by the test suite).

Generates equivalent scenes of N random spheres under one shadow-casting
light at 640x480 and prints, per scene, the wall time, the primary rays per
second (from the renderer's statistics) and the peak resident memory of the
raylume process.

    bench/render_bench.py [--raylume build/bin/raylume] [--counts 10,1000,100000]
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def scene(count, seed):
    """RIB text of count spheres in a fixed volume; their total volume stays
    about the same whatever the count, so every scene covers the picture alike."""
    rng = random.Random(seed)
    radius = 0.9 * (10.0 / count) ** (1.0 / 3.0)
    lines = [
        "##RenderMan RIB",
        "Format 640 480 1",
        'Display "bench.tif" "file" "rgba"',
        'Projection "perspective" "fov" 45',
        "Translate 0 0 12",
        "WorldBegin",
        'Attribute "light" "shadows" "on"',
        'LightSource "pointlight" 1 "from" [-6 8 -10] "intensity" 200',
        'Surface "matte"',
    ]
    for _ in range(count):
        x, y, z = rng.uniform(-5, 5), rng.uniform(-3.5, 3.5), rng.uniform(-3, 3)
        r = radius * rng.uniform(0.6, 1.4)
        lines.append("AttributeBegin")
        lines.append("Color [%.3f %.3f %.3f]" % (rng.random(), rng.random(), rng.random()))
        lines.append("Translate %.4f %.4f %.4f" % (x, y, z))
        lines.append("Sphere %.5f %.5f %.5f 360" % (r, -r, r))
        lines.append("AttributeEnd")
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def run_measured(raylume, rib_path, workdir):
    """Runs raylume with statistics: wall seconds, primary rays, peak resident
    KB (from the child's own usage record) and the exit status."""
    start = time.monotonic()
    with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
         open(os.path.join(workdir, "stderr.txt"), "wb") as err:
        proc = subprocess.Popen([raylume, "-stats", rib_path], cwd=workdir, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    text = open(os.path.join(workdir, "stdout.txt"), errors="replace").read()
    m = re.search(r"^\s*(\d+) primary rays", text, re.M)
    primary = int(m.group(1)) if m else 0
    return wall, primary, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    parser.add_argument("--counts", default="10,1000,100000")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",") if c]
    if not os.access(args.raylume, os.X_OK):
        sys.exit("no raylume at %s (build first)" % args.raylume)

    print("%10s %12s %18s %12s" % ("spheres", "wall s", "primary rays/s", "peak MB"))
    for n in counts:
        with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
            rib = os.path.join(work, "scene.rib")
            with open(rib, "w") as f:
                f.write(scene(n, args.seed))
            wall, primary, peak_kb, status = run_measured(args.raylume, rib, work)
            rate = primary / wall if wall > 0 else 0.0
            note = "" if status == 0 else "  (exit status %d)" % status
            print("%10d %12.2f %18.0f %12.1f%s" % (n, wall, rate, peak_kb / 1024.0, note))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
