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

Other kinds of scene (--kinds, all by default): one 10,000-triangle object
instanced 1,000 times (ObjectBegin/ObjectInstance against #declare/object);
mirror and glass spheres over a floor with rays five deep; 20,000 spheres
painted with an image; 10,000 spheres under eight shadowed point lights; and
2,000 bicubic patches.

POV-Ray comes from Debian's povray package; this script installs it when it
is missing (nothing else does). Every run happens in a temporary directory,
and POV-Ray's message streams are switched off (-GA), so nothing is left behind.

    bench/compare_povray.py [--raylume build/bin/raylume] [--counts 1000,100000]
                            [--no-mesh] [--million] [--kinds instanced,mirrors,...]
                            [--repeat 3] [--keep DIR]
"""
import argparse
import math
import os
import random
import resource
import shutil
import statistics
import struct
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


def bumpy_torus(ring, tube, major, minor, bump, waves, tilt):
    """(points, triangles) of a torus of ring x tube quads whose tube radius
    swells by bump along waves = (around, across), tilted about x by
    tilt = (cos, sin)."""
    ct, st = tilt
    points = []
    for i in range(ring):
        a = 2 * math.pi * i / ring
        for j in range(tube):
            b = 2 * math.pi * j / tube
            r = minor * (1 + bump * math.sin(waves[0] * a) * math.sin(waves[1] * b))
            x = (major + r * math.cos(b)) * math.cos(a)
            y = (major + r * math.cos(b)) * math.sin(a)
            z = r * math.sin(b)
            points.append((x, y * ct - z * st, y * st + z * ct))

    def index(i, j):
        return (i % ring) * tube + j % tube

    triangles = []
    for i in range(ring):
        for j in range(tube):
            a, b, c, d = index(i, j), index(i + 1, j), index(i + 1, j + 1), index(i, j + 1)
            triangles += [(a, b, c), (a, c, d)]
    return points, triangles


def torus_mesh():
    """The bench's bumpy torus, in world space."""
    return bumpy_torus(MESH_RING, MESH_TUBE, MESH_MAJOR, MESH_MINOR, 0.12, (9, 5),
                       (math.cos(MESH_TILT), math.sin(MESH_TILT)))


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


# ---- the other kinds of scene ---------------------------------------------

KINDS = ["instanced", "mirrors", "textured", "lights", "patches"]

# The instanced object: a small bumpy torus of 100 x 50 quads (10,000 triangles).
THING_RING, THING_TUBE, THING_MAJOR, THING_MINOR = 100, 50, 0.3, 0.1


def thing_mesh():
    return bumpy_torus(THING_RING, THING_TUBE, THING_MAJOR, THING_MINOR, 0.15, (7, 4), (0.5, 0.866))


def grid_places(seed, grid):
    rng = random.Random(seed)
    out = []
    for i in range(grid):
        for j in range(grid):
            for k in range(grid):
                x, y, z = -4.5 + 9.0 * i / grid, -3.2 + 6.4 * j / grid, -2.7 + 5.4 * k / grid
                out.append((x, y, z, (rng.random(), rng.random(), rng.random())))
    return out


def write_instanced(seed, grid, rib_path, pov_path):
    points, triangles = thing_mesh()
    places = grid_places(seed, grid)
    rib = list(RIB_HEAD)
    rib.append("ObjectBegin 1")
    rib.append("PointsPolygons [%s] [%s]" % (" ".join("3" for _ in triangles),
                                             " ".join("%d %d %d" % t for t in triangles)))
    rib.append('"P" [%s]' % " ".join("%.5f %.5f %.5f" % p for p in points))
    rib.append("ObjectEnd")
    for x, y, z, c in places:
        rib.append("AttributeBegin Color [%.3f %.3f %.3f] Translate %g %g %g ObjectInstance 1 AttributeEnd"
                   % (c + (x, y, z)))
    rib.append("WorldEnd")
    pov = pov_head()
    pov.append("#declare Thing = mesh2 {")
    pov.append("  vertex_vectors { %d, %s }" % (len(points), ", ".join("<%.5f, %.5f, %.5f>" % p for p in points)))
    pov.append("  face_indices { %d, %s } }" % (len(triangles), ", ".join("<%d, %d, %d>" % t for t in triangles)))
    for x, y, z, c in places:
        pov.append("object { Thing translate <%g, %g, %g> pigment { rgb <%.3f, %.3f, %.3f> } finish { Plastic } }"
                   % ((x, y, z) + c))
    with open(rib_path, "w") as f:
        f.write("\n".join(rib) + "\n")
    with open(pov_path, "w") as f:
        f.write("\n".join(pov) + "\n")


GLASS_SL = """surface benchglass(float Kr = 0.1, Kt = 0.9, eta = 1.5)
{
    normal Nn = normalize(N);
    vector In = normalize(I);
    normal Nf = faceforward(Nn, In);
    float ratio = Nn.In < 0 ? 1 / eta : eta;
    Oi = 1;
    Ci = Kr * trace(P, reflect(In, Nf)) + Kt * trace(P, refract(In, Nf, ratio));
}
"""


def write_mirrors(seed, rib_path, pov_path):
    rng = random.Random(seed)
    balls = []
    for i in range(6):
        for j in range(5):
            x, z = -5 + 2 * i + rng.uniform(-0.3, 0.3), -3 + 1.6 * j + rng.uniform(-0.3, 0.3)
            balls.append((x, -1.0, z, 0.7, (i + j) % 2 == 0))
    with open(os.path.join(os.path.dirname(rib_path), "benchglass.sl"), "w") as f:
        f.write(GLASS_SL)
    rib = [line for line in RIB_HEAD if not line.startswith("Surface")]
    rib.insert(3, 'Option "render" "max_raylevel" 5')
    rib.insert(3, 'Option "searchpath" "shader" [".:&"]')
    rib += ["AttributeBegin", "Color [0.7 0.7 0.6]", 'Surface "matte"',
            "Polygon \"P\" [-20 -1.7 -20  20 -1.7 -20  20 -1.7 20  -20 -1.7 20]", "AttributeEnd"]
    pov = pov_head()
    pov[1] = "global_settings { assumed_gamma 1.0 ambient_light rgb 1 max_trace_level 5 }"
    pov.append("polygon { 5, <-20, -1.7, -20>, <20, -1.7, -20>, <20, -1.7, 20>, <-20, -1.7, 20>, <-20, -1.7, -20> "
               "pigment { rgb <0.7, 0.7, 0.6> } finish { ambient 0.1 diffuse 1 } }")
    for x, y, z, r, mirror in balls:
        rib.append("AttributeBegin")
        rib.append('Surface "mirror" "Kr" 0.9' if mirror else 'Surface "benchglass"')
        rib.append("Translate %.4f %.4f %.4f Sphere %g %g %g 360" % (x, y, z, r, -r, r))
        rib.append("AttributeEnd")
        if mirror:
            pov.append("sphere { <%.4f, %.4f, %.4f>, %g pigment { rgb 1 } finish { ambient 0 diffuse 0 "
                       "specular 0.5 roughness 0.05 reflection 0.9 } }" % (x, y, z, r))
        else:
            pov.append("sphere { <%.4f, %.4f, %.4f>, %g pigment { rgbf <1, 1, 1, 0.9> } finish { ambient 0 "
                       "diffuse 0 reflection 0.1 } interior { ior 1.5 } }" % (x, y, z, r))
    rib.append("WorldEnd")
    with open(rib_path, "w") as f:
        f.write("\n".join(rib) + "\n")
    with open(pov_path, "w") as f:
        f.write("\n".join(pov) + "\n")


def write_picture(path_tif, path_ppm, size=256):
    """A checked and graded picture, as an uncompressed RGB TIFF and as a PPM."""
    rows = bytearray()
    for y in range(size):
        for x in range(size):
            check = ((x // 32) + (y // 32)) % 2
            rows += bytes((int(255 * x / size), 200 if check else 60, int(255 * y / size)))
    with open(path_ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (size, size) + bytes(rows))
    entries = [(256, 3, 1, size), (257, 3, 1, size), (258, 3, 3, 8 + 12 * 10 + 6), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, 1, 8 + 12 * 10 + 6 + 6), (277, 3, 1, 3), (278, 3, 1, size),
               (279, 4, 1, len(rows)), (284, 3, 1, 1)]
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        ifd += struct.pack("<HHI", tag, kind, count) + (struct.pack("<HH", value, 0) if kind == 3 and count == 1
                                                         else struct.pack("<I", value))
    ifd += struct.pack("<I", 0)
    with open(path_tif, "wb") as f:
        f.write(b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<HHH", 8, 8, 8) + bytes(rows))


def write_textured(seed, rib_path, pov_path):
    balls = spheres(20000, seed)
    write_picture(os.path.join(os.path.dirname(rib_path), "picture.tif"),
                  os.path.join(os.path.dirname(pov_path), "picture.ppm"))
    rib = [line if not line.startswith("Surface") else
           'Surface "paintedplastic" "Kd" 0.6 "Ks" 0.4 "roughness" 0.1 "texturename" "picture.tx"'
           for line in RIB_HEAD]
    pov = pov_head()
    pov.append('#declare Paint = pigment { image_map { ppm "picture.ppm" map_type 1 } }')
    for x, y, z, r, _ in balls:
        rib.append("TransformBegin Translate %.4f %.4f %.4f Sphere %.5f %.5f %.5f 360 TransformEnd" % (x, y, z, r, -r, r))
        pov.append("sphere { <%.4f, %.4f, %.4f>, %.5f pigment { Paint scale %.5f translate <%.4f, %.4f, %.4f> } "
                   "finish { Plastic } }" % (x, y, z, r, r, x, y, z))
    rib.append("WorldEnd")
    with open(rib_path, "w") as f:
        f.write("\n".join(rib) + "\n")
    with open(pov_path, "w") as f:
        f.write("\n".join(pov) + "\n")


LIGHTS = [(-6, 8, -10), (6, 8, -10), (-6, -8, -10), (6, -8, -10), (0, 10, 0), (-10, 0, -4), (10, 0, -4), (0, 0, -14)]


def write_lights(seed, rib_path, pov_path):
    balls = spheres(10000, seed)
    rib = [line for line in RIB_HEAD if not line.startswith('LightSource "pointlight"')]
    at = rib.index('Attribute "light" "shadows" "on"') + 1
    for n, p in enumerate(LIGHTS):
        rib.insert(at + n, 'LightSource "pointlight" %d "from" [%g %g %g] "intensity" 40' % ((n + 2,) + p))
    pov = [line for line in pov_head() if not line.startswith("light_source")]
    for p in LIGHTS:
        pov.append("light_source { <%g, %g, %g> color rgb 0.16 }" % p)
    for x, y, z, r, c in balls:
        rib.append("AttributeBegin Color [%.3f %.3f %.3f] Translate %.4f %.4f %.4f Sphere %.5f %.5f %.5f 360 "
                   "AttributeEnd" % (c + (x, y, z, r, -r, r)))
        pov.append("sphere { <%.4f, %.4f, %.4f>, %.5f pigment { rgb <%.3f, %.3f, %.3f> } finish { Plastic } }"
                   % ((x, y, z, r) + c))
    rib.append("WorldEnd")
    with open(rib_path, "w") as f:
        f.write("\n".join(rib) + "\n")
    with open(pov_path, "w") as f:
        f.write("\n".join(pov) + "\n")


def write_patches(seed, rib_path, pov_path):
    rng = random.Random(seed)
    rib = list(RIB_HEAD)
    rib.append("Basis \"bezier\" 3 \"bezier\" 3")
    pov = pov_head()
    for _ in range(2000):
        cx, cy, cz = rng.uniform(-5, 5), rng.uniform(-3.5, 3.5), rng.uniform(-3, 3)
        size = rng.uniform(0.25, 0.45)
        pts = [(cx + size * (i / 3.0 - 0.5), cy + size * (j / 3.0 - 0.5),
                cz + size * rng.uniform(-0.4, 0.4)) for j in range(4) for i in range(4)]
        c = (rng.random(), rng.random(), rng.random())
        rib.append("AttributeBegin Color [%.3f %.3f %.3f] Patch \"bicubic\" \"P\" [%s] AttributeEnd"
                   % (c + (" ".join("%.4f %.4f %.4f" % p for p in pts),)))
        pov.append("bicubic_patch { type 1 flatness 0 u_steps 3 v_steps 3 %s pigment { rgb <%.3f, %.3f, %.3f> } "
                   "finish { Plastic } }" % ((", ".join("<%.4f, %.4f, %.4f>" % p for p in pts),) + c))
    rib.append("WorldEnd")
    with open(rib_path, "w") as f:
        f.write("\n".join(rib) + "\n")
    with open(pov_path, "w") as f:
        f.write("\n".join(pov) + "\n")


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


def run_measured(argv, workdir, cap_mb):
    """(CPU seconds, wall seconds, peak resident KB, exit status) of one run,
    from the child's own usage record; its output goes to files in workdir.
    The child's address space is capped at cap_mb (a shared machine)."""
    def cap():
        limit = cap_mb * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    start = time.monotonic()
    with open(os.path.join(workdir, "stdout.txt"), "wb") as out, \
         open(os.path.join(workdir, "stderr.txt"), "wb") as err:
        proc = subprocess.Popen(argv, cwd=workdir, stdout=out, stderr=err, preexec_fn=cap if cap_mb > 0 else None)
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
    writers = {"instanced": write_instanced, "mirrors": write_mirrors, "textured": write_textured,
               "lights": write_lights, "patches": write_patches}
    for kind in [k for k in args.kinds.split(",") if k]:
        if kind not in writers:
            sys.exit("unknown kind of scene %r (of %s)" % (kind, ",".join(KINDS)))
        if kind == "instanced":
            yield "instanced %d" % args.grid ** 3, write_instanced, (args.seed, args.grid)
        else:
            yield kind, writers[kind], (args.seed,)


def prepare_raylume(raylume, workdir):
    """Compiles the scene's own shader and makes its texture with the tools
    built beside raylume."""
    tools = os.path.dirname(raylume)
    if os.path.exists(os.path.join(workdir, "benchglass.sl")):
        subprocess.run([os.path.join(tools, "murn"), "-q", "benchglass.sl"], cwd=workdir, check=True,
                       stdout=subprocess.DEVNULL)
    if os.path.exists(os.path.join(workdir, "picture.tif")):
        subprocess.run([os.path.join(tools, "tavrel"), "picture.tif", "picture.tx"], cwd=workdir, check=True,
                       stdout=subprocess.DEVNULL)


def load_average():
    return "%.1f %.1f %.1f" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--raylume", default=os.path.join(ROOT, "build", "bin", "raylume"))
    parser.add_argument("--counts", default="1000,100000",
                        help="sphere counts; the mesh follows the 100000 scene")
    parser.add_argument("--no-mesh", action="store_true", help="leave out the triangle mesh")
    parser.add_argument("--million", action="store_true", help="add 1,000,000 spheres (about 1 GB each)")
    parser.add_argument("--kinds", default=",".join(KINDS),
                        help="other kinds of scene, of " + ",".join(KINDS) + " (empty for none)")
    parser.add_argument("--grid", type=int, default=10, help="instances along each axis (grid^3 in all)")
    parser.add_argument("--cap-mb", type=int, default=2048, help="address-space cap of each run (0: none)")
    parser.add_argument("--repeat", type=int, default=3, help="rounds per scene (median taken)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", help="directory that keeps the scenes and images of the last round")
    args = parser.parse_args()
    args.raylume = os.path.abspath(args.raylume)   # the runs change directory
    if not os.access(args.raylume, os.X_OK):
        sys.exit("no raylume at %s (build first)" % args.raylume)
    povray = ensure_povray()
    pov_argv = [povray, "+Iscene.pov", "+Obench.png", "+FN", "+W%d" % WIDTH, "+H%d" % HEIGHT,
                "-A", "+WT1", "-D", "-P", "-V", "-GA"]

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
            prepare_raylume(args.raylume, rl_dir)
            rl_runs, pov_runs, notes = [], [], []
            for r in range(args.repeat):
                order = [("raylume", rl_dir), ("povray", pov_dir)]
                for who, wd in order if r % 2 == 0 else order[::-1]:
                    argv = [args.raylume, "scene.rib"] if who == "raylume" else pov_argv
                    m = run_measured(argv, wd, args.cap_mb)
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
