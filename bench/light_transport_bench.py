#!/usr/bin/env python3
"""Light-transport benchmarks of raylume, run by hand (not by the test suite).

caustic: a concave spherical mirror under a point light, its light reflected
onto a floor lit only by the "bouncer" light, at 200x200 with one radiosity
step. mesh: a plate meshed for radiosity into about 72,000 vertices (welding
cost). patch size: the caustic at 15x15 with the mirror cut into patches of
each --patchsizes (cost against the mirror's patch count). Prints the wall
time of each (best of --repeat runs).

    bench/light_transport_bench.py [--raylume build/bin/raylume] [--size 200] [--repeat 3]
                                   [--patchsizes 4,0.3,0.1]

Measured on the shared 8-core development machine: caustic 200x200, 131.9 s
before the specular-path search was reworked, 4.7 s after; mesh, 55.7 s with
welding by a linear search, 1.7 s with the grid. Caustic 15x15 against the
mirror's patch size 4, 0.3, 0.1: 0.36 s, 7.7 s, 63.9 s while every pixel
searched every patch from where the last search ended; 0.02 s, 0.12 s, 0.51 s
with the patches culled by a tree of their bounds (caustic 200x200 then 3.1 s
before, 1.0 s after).
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
  Attribute "radiosity" "specularcolor" [1 1 1] "zonal" "zonal_shoots" "patchsize" {patchsize}
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


MESH_SCENE = """Display "mesh.tif" "file" "rgba"
Format 4 4 1
Projection "orthographic"
ScreenWindow 0 16 0 16
Translate 0 0 5
WorldBegin
LightSource "pointlight" 1 "from" [8 8 -4]
Polygon "P" [0 0 0  0 16 0  16 16 0  16 0 0]
WorldEnd
"""


def best_time(raylume, rib, args, work, repeat):
    """The shortest wall time of repeat runs, or None when one fails."""
    best = None
    for _ in range(repeat):
        start = time.monotonic()
        status = subprocess.call([raylume, "-silent"] + args + [rib], cwd=work)
        wall = time.monotonic() - start
        if status != 0:
            print("raylume exited with status %d" % status, file=sys.stderr)
            return None
        best = wall if best is None else min(best, wall)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    ap.add_argument("--size", type=int, default=200)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--patchsizes", default="4,0.3,0.1")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as work:
        cases = [("caustic %dx%d" % (args.size, args.size), SCENE.format(size=args.size, patchsize=4), []),
                 ("mesh 72k vertices", MESH_SCENE, ["-radio", "1", "-patchsize", "0.12", "-elemsize", "1"])]
        cases += [("caustic 15x15, mirror patch size %s" % p, SCENE.format(size=15, patchsize=p), [])
                  for p in args.patchsizes.split(",") if p]
        for name, text, extra in cases:
            rib = os.path.join(work, "scene.rib")
            with open(rib, "w") as f:
                f.write(text)
            wall = best_time(args.raylume, rib, extra, work, args.repeat)
            if wall is None:
                return 1
            print("%s: %.2f s" % (name, wall))
    return 0


if __name__ == "__main__":
    sys.exit(main())
