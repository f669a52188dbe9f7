#!/usr/bin/env python3
"""raylume against POV-Ray on the same scenes, run by hand (not by the tests).

Scenes: N random spheres with a plastic-like finish, and a bumpy torus of
250,000 triangles (500 x 250 quads split in two: `PointsPolygons` for
raylume, `mesh2` with the very same triangles for POV-Ray). One point light
casts shadows; the same perspective camera at 640x480 with one sample per
pixel (a box filter for raylume, no anti-aliasing for POV-Ray); POV-Ray runs
one render thread (+WT1).

Each renderer is run --repeat times, the two alternating (raylume first in
even rounds, POV-Ray first in odd ones) so that a change of load on a shared
machine hits both alike. Per scene the script prints the medians of the CPU
seconds (user + sys), of the wall seconds and of the peak resident memory of
both, and the ratios raylume / POV-Ray (the CPU and wall ratios are the
medians of the per-round ratios). The load average before and after the run
tells how busy the machine was.

POV-Ray comes from Debian's povray package; this script installs it when it
is missing (nothing else does).

    bench/compare_povray.py [--raylume build/bin/raylume] [--counts 1000,100000]
                            [--no-mesh] [--million] [--repeat 3] [--keep DIR]
"""
import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

WIDTH, HEIGHT = 640, 480
FOV = 45.0                      # degrees across the shorter (vertical) side
CAMERA_DISTANCE = 12.0
LIGHT = (-6.0, 8.0, -10.0)

# The bumpy torus: quads around the ring and around the tube.
MESH_RING, MESH_TUBE = 500, 250
MESH_MAJOR, MESH_MINOR = 3.6, 1.1
MESH_TILT = math.radians(55.0)  # about the x axis, so that the hole shows
MESH_COLOR = (0.8, 0.45, 0.25)


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


def torus_mesh():
    """(points, triangles) of the bumpy torus, in world space; the points are
    rounded as both scene files write them."""
    ct, st = math.cos(MESH_TILT), math.sin(MESH_TILT)
    points = []
    for i in range(MESH_RING):
        a = 2 * math.pi * i / MESH_RING
        for j in range(MESH_TUBE):
            b = 2 * math.pi * j / MESH_TUBE
            r = MESH_MINOR * (1 + 0.12 * math.sin(9 * a) * math.sin(5 * b))
            x = (MESH_MAJOR + r * math.cos(b)) * math.cos(a)
            y = (MESH_MAJOR + r * math.cos(b)) * math.sin(a)
            z = r * math.sin(b)
            points.append((x, y * ct - z * st, y * st + z * ct))

    def index(i, j):
        return (i % MESH_RING) * MESH_TUBE + j % MESH_TUBE

    triangles = []
    for i in range(MESH_RING):
        for j in range(MESH_TUBE):
            a, b, c, d = index(i, j), index(i + 1, j), index(i + 1, j + 1), index(i, j + 1)
            triangles.append((a, b, c))
            triangles.append((a, c, d))
    return points, triangles


RIB_HEAD = [
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


def pov_head():
    # The same view: POV-Ray's angle spans the width of the picture.
    half_height = math.tan(math.radians(FOV) / 2)
    angle = math.degrees(2 * math.atan(half_height * WIDTH / HEIGHT))
    return [
        "#version 3.7;",
        "global_settings { assumed_gamma 1.0 ambient_light rgb 1 }",
        "camera { perspective location <0, 0, %g> direction <0, 0, 1>" % -CAMERA_DISTANCE,
        "  right x*%d/%d up y angle %.6f look_at <0, 0, 0> }" % (WIDTH, HEIGHT, angle),
        "light_source { <%g, %g, %g> color rgb 1 }" % LIGHT,
        "#declare Plastic = finish { ambient 0.1 diffuse 0.6 specular 0.4 roughness 0.1 }",
    ]


def rib_spheres(balls):
    lines = list(RIB_HEAD)
    for x, y, z, r, c in balls:
        lines.append("AttributeBegin")
        lines.append("Color [%.3f %.3f %.3f]" % c)
        lines.append("Translate %.4f %.4f %.4f" % (x, y, z))
        lines.append("Sphere %.5f %.5f %.5f 360" % (r, -r, r))
        lines.append("AttributeEnd")
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def pov_spheres(balls):
    lines = pov_head()
    for x, y, z, r, c in balls:
        lines.append("sphere { <%.4f, %.4f, %.4f>, %.5f pigment { rgb <%.3f, %.3f, %.3f> } finish { Plastic } }"
                     % ((x, y, z, r) + c))
    return "\n".join(lines) + "\n"


def rib_mesh(points, triangles):
    lines = list(RIB_HEAD)
    lines.append("Color [%.3f %.3f %.3f]" % MESH_COLOR)
    lines.append("PointsPolygons [%s]" % " ".join("3" for _ in triangles))
    lines.append("[%s]" % " ".join("%d %d %d" % t for t in triangles))
    lines.append('"P" [%s]' % " ".join("%.5f %.5f %.5f" % p for p in points))
    lines.append("WorldEnd")
    return "\n".join(lines) + "\n"


def pov_mesh(points, triangles):
    lines = pov_head()
    lines.append("mesh2 {")
    lines.append("  vertex_vectors { %d, %s }" % (len(points), ", ".join("<%.5f, %.5f, %.5f>" % p for p in points)))
    lines.append("  face_indices { %d, %s }" % (len(triangles), ", ".join("<%d, %d, %d>" % t for t in triangles)))
    lines.append("  pigment { rgb <%.3f, %.3f, %.3f> } finish { Plastic }" % MESH_COLOR)
    lines.append("}")
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
    """(CPU seconds, wall seconds, peak resident KB, exit status) of one run,
    from the child's own usage record; its output goes to files in workdir."""
    start = time.monotonic()
    with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
         open(os.path.join(workdir, "stderr.txt"), "wb") as err:
        proc = subprocess.Popen(argv, cwd=workdir, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    return usage.ru_utime + usage.ru_stime, wall, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def write_spheres(count, seed, rib_path, pov_path):
    balls = spheres(count, seed)
    with open(rib_path, "w") as f:
        f.write(rib_spheres(balls))
    with open(pov_path, "w") as f:
        f.write(pov_spheres(balls))


def write_mesh(rib_path, pov_path):
    points, triangles = torus_mesh()
    with open(rib_path, "w") as f:
        f.write(rib_mesh(points, triangles))
    with open(pov_path, "w") as f:
        f.write(pov_mesh(points, triangles))


def write_in_child(writer, *args):
    """Runs a scene writer in a child process. The renderers are started from
    this process, and a child's peak memory counts what it inherited before
    exec, so this one must stay small."""
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            writer(*args)
            code = 0
        finally:
            os._exit(code)
    _, status = os.waitpid(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("writing a scene failed")


def scenes(args):
    """(name, writer, writer arguments before the two paths) of every scene asked for."""
    counts = [int(c) for c in args.counts.split(",") if c]
    if args.million and 1000000 not in counts:
        counts.append(1000000)
    for n in counts:
        if n == 1000000 and not args.million:
            continue
        yield "%d spheres" % n, write_spheres, (n, args.seed)
        if n == 100000 and not args.no_mesh:
            yield "%dk tri mesh" % (MESH_RING * MESH_TUBE * 2 // 1000), write_mesh, ()


def load_average():
    return "%.1f %.1f %.1f" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    parser.add_argument("--counts", default="1000,100000",
                        help="sphere counts; the mesh follows the 100000 scene")
    parser.add_argument("--no-mesh", action="store_true", help="leave out the triangle mesh")
    parser.add_argument("--million", action="store_true", help="add 1,000,000 spheres (about 1 GB each)")
    parser.add_argument("--repeat", type=int, default=3, help="rounds per scene (median taken)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", help="directory that keeps the scenes and images of the last round")
    args = parser.parse_args()
    args.raylume = os.path.abspath(args.raylume)   # the runs change directory
    if not os.access(args.raylume, os.X_OK):
        sys.exit("no raylume at %s (build first)" % args.raylume)
    povray = ensure_povray()
    pov_argv = [povray, "+Iscene.pov", "+Obench.png", "+FN", "+W%d" % WIDTH, "+H%d" % HEIGHT,
                "-A", "+WT1", "-D", "-P", "-V", "+GA0"]

    print("load average before: %s (%d cores); medians of %d alternating rounds"
          % (load_average(), os.cpu_count() or 0, args.repeat))
    print("%-15s %8s %8s %6s   %8s %8s %6s   %8s %8s %6s"
          % ("scene", "rl cpu", "pov cpu", "ratio", "rl wall", "pov wall", "ratio", "rl MB", "pov MB", "ratio"))
    for name, writer, writer_args in scenes(args):
        with tempfile.TemporaryDirectory(prefix="velkbench.") as work:
            rl_dir, pov_dir = os.path.join(work, "raylume"), os.path.join(work, "povray")
            os.makedirs(rl_dir)
            os.makedirs(pov_dir)
            write_in_child(writer, *writer_args, os.path.join(rl_dir, "scene.rib"), os.path.join(pov_dir, "scene.pov"))
            rl_runs, pov_runs, notes = [], [], []
            for r in range(args.repeat):
                order = [("raylume", rl_dir), ("povray", pov_dir)]
                for who, wd in order if r % 2 == 0 else order[::-1]:
                    argv = [args.raylume, "scene.rib"] if who == "raylume" else pov_argv
                    m = run_measured(argv, wd)
                    (rl_runs if who == "raylume" else pov_runs).append(m)
                    if m[3] != 0:
                        notes.append("%s exit status %d" % (who, m[3]))

            def med(runs, k):
                return statistics.median(x[k] for x in runs)

            def ratio(k):
                return statistics.median(a[k] / b[k] if b[k] > 0 else float("inf")
                                         for a, b in zip(rl_runs, pov_runs))

            print("%-15s %8.2f %8.2f %6.2f   %8.2f %8.2f %6.2f   %8.1f %8.1f %6.2f%s"
                  % (name, med(rl_runs, 0), med(pov_runs, 0), ratio(0),
                     med(rl_runs, 1), med(pov_runs, 1), ratio(1),
                     med(rl_runs, 2) / 1024.0, med(pov_runs, 2) / 1024.0, med(rl_runs, 2) / med(pov_runs, 2),
                     "".join("  (%s)" % n for n in sorted(set(notes)))), flush=True)
            if args.keep:
                dest = os.path.join(args.keep, name.replace(" ", "_"))
                shutil.rmtree(dest, ignore_errors=True)
                shutil.copytree(work, dest)
    print("load average after: %s" % load_average())


if __name__ == "__main__":
    main()
