#!/usr/bin/env python3
"""Rendering benchmark of raylume, run by hand (not by the test suite).

Generates equivalent scenes of N random spheres under one shadow-casting
light at 640x480 and prints, per scene, the wall time, the primary rays per
second (from the renderer's statistics) and the peak resident memory of the
raylume process.

--kinds adds scenes of other kinds (one sample per pixel, 640x480 too):
  mirror    mirror and glass spheres over a floor, ray depth 5
  textured  20,000 spheres with an image texture (made by a first render)
  lights    10,000 spheres under 8 shadow-casting point lights
and prints their CPU seconds as well. --keep DIR leaves the scene files there
(to run them under callgrind, say).

    bench/render_bench.py [--raylume build/bin/raylume] [--counts 10,1000,100000]
                          [--kinds spheres,mirror,textured,lights] [--keep DIR]
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def scene(count, seed):
    """RIB text of count spheres in a fixed volume; their total volume stays
    about the same whatever the count, so every scene covers the picture alike."""
    rng = random.Random(seed)
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
    lines += spheres_of(count, rng)
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


HEADER = [
    "##RenderMan RIB",
    "Format 640 480 1",
    "PixelSamples 1 1",
    'PixelFilter "box" 1 1',
    'Display "bench.tif" "file" "rgba"',
    'Projection "perspective" "fov" 45',
    "Translate 0 0 12",
]

GLASS_SL = """surface benchglass(float Kr = 1, Kt = 1, eta = 1.5)
{
    normal Nn = normalize(N);
    vector In = normalize(I);
    float e = In.Nn < 0 ? 1 / eta : eta;
    normal Nf = faceforward(Nn, I);
    float kr, kt;
    vector R, T;
    fresnel(In, Nf, e, kr, kt, R, T);
    color c = Kr * kr * trace(P, R);
    if (kt > 0)
        c += Kt * kt * trace(P, T);
    Oi = 1;
    Ci = Cs * c;
}
"""


def spheres_of(count, rng, surface_line=None):
    radius = 0.9 * (10.0 / count) ** (1.0 / 3.0)
    lines = []
    for _ in range(count):
        x, y, z = rng.uniform(-5, 5), rng.uniform(-3.5, 3.5), rng.uniform(-3, 3)
        r = radius * rng.uniform(0.6, 1.4)
        lines.append("AttributeBegin")
        lines.append("Color [%.3f %.3f %.3f]" % (rng.random(), rng.random(), rng.random()))
        lines.append("Translate %.4f %.4f %.4f" % (x, y, z))
        lines.append("Sphere %.5f %.5f %.5f 360" % (r, -r, r))
        lines.append("AttributeEnd")
    return lines


def mirror_scene(seed):
    """A 6 x 4 grid of mirror and glass spheres over a matte floor."""
    rng = random.Random(seed)
    lines = HEADER + ['Option "render" "max_raylevel" 5', "WorldBegin",
                      'Attribute "light" "shadows" "on"',
                      'LightSource "pointlight" 1 "from" [-6 8 -10] "intensity" 200',
                      'LightSource "ambientlight" 2 "intensity" 0.1',
                      "AttributeBegin", "Color [0.7 0.7 0.6]", 'Surface "matte"',
                      "Polygon \"P\" [-30 -3.5 -30  -30 -3.5 30  30 -3.5 30  30 -3.5 -30]",
                      "AttributeEnd"]
    for i in range(6):
        for j in range(4):
            lines.append("AttributeBegin")
            lines.append("Color [%.3f %.3f %.3f]" % (0.6 + 0.4 * rng.random(), 0.6 + 0.4 * rng.random(),
                                                      0.6 + 0.4 * rng.random()))
            lines.append('Surface "mirror" "Kd" 0.2' if (i + j) % 2 else 'Surface "benchglass"')
            lines.append("Translate %.3f %.3f %.3f" % (-4.5 + 1.8 * i, -2.4 + 1.6 * j, rng.uniform(-1, 1)))
            lines.append("Sphere 0.75 -0.75 0.75 360")
            lines.append("AttributeEnd")
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def texture_source_scene():
    """A colourful 256 x 256 picture, made into the texture bench.tx."""
    rng = random.Random(7)
    lines = ["##RenderMan RIB", "Format 256 256 1", 'Display "pattern.tif" "file" "rgb"',
             'Projection "perspective" "fov" 45', "Translate 0 0 12", "WorldBegin",
             'LightSource "ambientlight" 1 "intensity" 1', 'Surface "constant"']
    lines += spheres_of(3000, rng)
    lines += ["WorldEnd", 'MakeTexture "pattern.tif" "bench.tx" "periodic" "periodic" "box" 1 1']
    return "\n".join(lines) + "\n"


def textured_scene(seed):
    rng = random.Random(seed)
    lines = HEADER + ["WorldBegin", 'Attribute "light" "shadows" "on"',
                      'LightSource "pointlight" 1 "from" [-6 8 -10] "intensity" 200',
                      'LightSource "ambientlight" 2 "intensity" 0.2',
                      'Surface "paintedplastic" "Kd" 1 "texturename" "bench.tx"']
    lines += spheres_of(20000, rng)
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def lights_scene(seed):
    rng = random.Random(seed)
    lines = HEADER + ["WorldBegin", 'Attribute "light" "shadows" "on"']
    for k in range(8):
        lines.append('LightSource "pointlight" %d "from" [%.2f %.2f -10] "intensity" 40' %
                     (k + 1, -9 + 6 * (k % 4), 8 if k < 4 else -6))
    lines.append('Surface "matte"')
    lines += spheres_of(10000, rng)
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
    cpu = usage.ru_utime + usage.ru_stime
    return wall, primary, usage.ru_maxrss, os.waitstatus_to_exitcode(status), cpu


def prepare_kind(kind, args, work):
    """Writes the scene of a kind (and what it needs) into work; its RIB path."""
    rib = os.path.join(work, kind + ".rib")
    bindir = os.path.dirname(os.path.abspath(args.raylume))
    if kind == "mirror":
        with open(os.path.join(work, "benchglass.sl"), "w") as f:
            f.write(GLASS_SL)
        subprocess.run([os.path.join(bindir, "murn"), "-q", "benchglass.sl"], cwd=work, check=True)
        shutil.copy(os.path.join(ROOT, "scenes", "mirror.sl"), work)
        subprocess.run([os.path.join(bindir, "murn"), "-q", "mirror.sl"], cwd=work, check=True)
        text = mirror_scene(args.seed)
    elif kind == "textured":
        with open(os.path.join(work, "pattern.rib"), "w") as f:
            f.write(texture_source_scene())
        subprocess.run([args.raylume, "pattern.rib"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        text = textured_scene(args.seed)
    elif kind == "lights":
        text = lights_scene(args.seed)
    else:
        raise SystemExit("unknown kind %s" % kind)
    with open(rib, "w") as f:
        f.write(text)
    return rib


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    parser.add_argument("--counts", default="10,1000,100000")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--kinds", default="spheres")
    parser.add_argument("--keep", help="directory that keeps the scenes of --kinds")
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",") if c]
    kinds = [k for k in args.kinds.split(",") if k]
    if not os.access(args.raylume, os.X_OK):
        sys.exit("no raylume at %s (build first)" % args.raylume)

    others = [k for k in kinds if k != "spheres"]
    if others:
        print("%10s %12s %12s %12s" % ("scene", "CPU s", "wall s", "peak MB"))
    for kind in others:
        with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
            if args.keep:
                work = os.path.join(os.path.abspath(args.keep), kind)
                os.makedirs(work, exist_ok=True)
            rib = prepare_kind(kind, args, work)
            wall, _, peak_kb, status, cpu = run_measured(args.raylume, rib, work)
            note = "" if status == 0 else "  (exit status %d)" % status
            print("%10s %12.2f %12.2f %12.1f%s" % (kind, cpu, wall, peak_kb / 1024.0, note))
            sys.stdout.flush()
    if "spheres" not in kinds:
        return

    print("%10s %12s %18s %12s" % ("spheres", "wall s", "primary rays/s", "peak MB"))
    for n in counts:
        with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
            rib = os.path.join(work, "scene.rib")
            with open(rib, "w") as f:
                f.write(scene(n, args.seed))
            wall, primary, peak_kb, status, _ = run_measured(args.raylume, rib, work)
            rate = primary / wall if wall > 0 else 0.0
            note = "" if status == 0 else "  (exit status %d)" % status
            print("%10d %12.2f %18.0f %12.1f%s" % (n, wall, rate, peak_kb / 1024.0, note))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
