#!/usr/bin/env python3
"""raylume against POV-Ray on the same scenes, run by hand (not by the tests).

Each scene is N random spheres with a plastic-like finish under one point
light that casts shadows, seen by the same perspective camera at 640x480 with
one sample per pixel (a box filter for raylume, no anti-aliasing for POV-Ray),
both single-threaded. Prints, per scene, both wall times, their ratio
raylume/povray and both peak resident memories.

POV-Ray comes from Debian's povray package; this script installs it when it
is missing (nothing else does).

    bench/compare_povray.py [--raylume build/bin/raylume] [--counts 10,1000,100000]
"""
import argparse
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

WIDTH, HEIGHT = 640, 480
FOV = 45.0                      # degrees across the shorter (vertical) side
CAMERA_DISTANCE = 12.0
LIGHT = (-6.0, 8.0, -10.0)


def spheres(count, seed):
    """(x, y, z, radius, (r, g, b)) for count spheres in a fixed box; their
    total volume stays about the same whatever the count."""
    rng = random.Random(seed)
    scale = 0.9 * (10.0 / count) ** (1.0 / 3.0)
    out = []
    for _ in range(count):
        x, y, z = rng.uniform(-5, 5), rng.uniform(-3.5, 3.5), rng.uniform(-3, 3)
        r = scale * rng.uniform(0.6, 1.4)
        out.append((x, y, z, r, (rng.random(), rng.random(), rng.random())))
    return out


def rib_scene(balls):
    lines = [
        "##RenderMan RIB",
        'Display "bench.tif" "file" "rgba"',
        "Format %d %d 1" % (WIDTH, HEIGHT),
        "PixelSamples 1 1",
        'PixelFilter "box" 1 1',
        'Projection "perspective" "fov" %g' % FOV,
        "Translate 0 0 %g" % CAMERA_DISTANCE,
        "WorldBegin",
        'LightSource "ambientlight" 1 "intensity" 0.1',
        'Attribute "light" "shadows" "on"',
        'LightSource "pointlight" 2 "from" [%g %g %g] "intensity" 250' % LIGHT,
        'Surface "plastic" "Kd" 0.6 "Ks" 0.4 "roughness" 0.1',
    ]
    for x, y, z, r, c in balls:
        lines.append("AttributeBegin")
        lines.append("Color [%.3f %.3f %.3f]" % c)
        lines.append("Translate %.4f %.4f %.4f" % (x, y, z))
        lines.append("Sphere %.5f %.5f %.5f 360" % (r, -r, r))
        lines.append("AttributeEnd")
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def pov_scene(balls):
    # The same view: POV-Ray's angle spans the width of the picture.
    half_height = math.tan(math.radians(FOV) / 2)
    angle = math.degrees(2 * math.atan(half_height * WIDTH / HEIGHT))
    lines = [
        "#version 3.7;",
        "global_settings { assumed_gamma 1.0 ambient_light rgb 1 }",
        "camera { perspective location <0, 0, %g> direction <0, 0, 1>" % -CAMERA_DISTANCE,
        "  right x*%d/%d up y angle %.6f look_at <0, 0, 0> }" % (WIDTH, HEIGHT, angle),
        "light_source { <%g, %g, %g> color rgb 1 }" % LIGHT,
        "#declare Plastic = finish { ambient 0.1 diffuse 0.6 specular 0.4 roughness 0.1 }",
    ]
    for x, y, z, r, c in balls:
        lines.append("sphere { <%.4f, %.4f, %.4f>, %.5f pigment { rgb <%.3f, %.3f, %.3f> } finish { Plastic } }"
                     % ((x, y, z, r) + c))
    return "\n".join(lines) + "\n"


def ensure_povray():
    if shutil.which("povray"):
        return "povray"
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    print("installing Debian's povray package ...", flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "povray"], check=True, env=env,
                   stdout=subprocess.DEVNULL)
    if not shutil.which("povray"):
        sys.exit("povray is still missing after installing it")
    return "povray"


def run_measured(argv, workdir):
    """Wall seconds, peak resident KB (the child's own usage record) and the
    exit status of one run; its output goes to files in workdir."""
    start = time.monotonic()
    with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
         open(os.path.join(workdir, "stderr.txt"), "wb") as err:
        proc = subprocess.Popen(argv, cwd=workdir, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
    return time.monotonic() - start, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    parser.add_argument("--counts", default="10,1000,100000")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", help="directory that keeps the scenes and images of every run")
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",") if c]
    args.raylume = os.path.abspath(args.raylume)   # the runs change directory
    if not os.access(args.raylume, os.X_OK):
        sys.exit("no raylume at %s (build first)" % args.raylume)
    povray = ensure_povray()

    print("%9s %11s %11s %9s %12s %12s" % ("spheres", "raylume s", "povray s", "ratio", "raylume MB", "povray MB"))
    for n in counts:
        balls = spheres(n, args.seed)
        with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
            rl_dir, pov_dir = os.path.join(work, "raylume"), os.path.join(work, "povray")
            os.makedirs(rl_dir)
            os.makedirs(pov_dir)
            with open(os.path.join(rl_dir, "scene.rib"), "w") as f:
                f.write(rib_scene(balls))
            with open(os.path.join(pov_dir, "scene.pov"), "w") as f:
                f.write(pov_scene(balls))
            rl = run_measured([args.raylume, "scene.rib"], rl_dir)
            pov = run_measured([povray, "+Iscene.pov", "+Obench.png", "+FN", "+W%d" % WIDTH, "+H%d" % HEIGHT,
                                "-A", "+WT1", "-D", "-P", "-V", "+GA0"], pov_dir)
            ratio = rl[0] / pov[0] if pov[0] > 0 else float("inf")
            notes = "".join("  (%s exit status %d)" % (who, r[2]) for who, r in (("raylume", rl), ("povray", pov))
                            if r[2] != 0)
            print("%9d %11.2f %11.2f %9.2f %12.1f %12.1f%s"
                  % (n, rl[0], pov[0], ratio, rl[1] / 1024.0, pov[1] / 1024.0, notes), flush=True)
            if args.keep:
                dest = os.path.join(args.keep, str(n))
                shutil.rmtree(dest, ignore_errors=True)
                shutil.copytree(work, dest)


if __name__ == "__main__":
    main()
