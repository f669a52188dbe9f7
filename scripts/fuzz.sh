#!/bin/sh
# Runs every libFuzzer target for SECONDS each (default 600) under
# AddressSanitizer and UndefinedBehaviorSanitizer, seeded from the test data.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Needs the optimised build in build/ for the seeds (programs and compiled
# shaders); builds the targets in build-fuzz/. Exits 1 when a target found a
# crash, a leak or a hang; the inputs are left in build-fuzz/artifacts/TARGET/
# (copy each to tests/fuzz/regressions/TARGET/ once fixed).
set -e
cd "$(dirname "$0")/.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=${*:-"rib rayserver compiled_shader shading_language texture depth_file irradiance_cache"}
jobs=$(nproc 2>/dev/null || echo 4)
root=$(pwd)
fuzzbuild=$root/build-fuzz

if [ ! -f "$fuzzbuild/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELK_FUZZ=ON \
        -DCMAKE_C_FLAGS_DEBUG="-O1" -DCMAKE_CXX_FLAGS_DEBUG="-O1" >/dev/null
fi
cmake --build "$fuzzbuild" -j "$jobs" --target fuzz_targets

# Seed corpora: scenes and shaders of the tree, and files the programs make from them.
seeds=$fuzzbuild/seeds
bin=$root/build/bin
rm -rf "$seeds"
for t in rib rayserver compiled_shader shading_language texture depth_file irradiance_cache; do
    mkdir -p "$seeds/$t" "$fuzzbuild/corpus/$t" "$fuzzbuild/artifacts/$t"
done
cp scenes/*.rib "$seeds/rib/"
find tests -name '*.rib' -size -64k -exec cp {} "$seeds/rib/" \;
# Binary RIB: an encoded float, a string and a float array among requests.
printf 'Format 8 8 1\nWorldBegin\nSphere \244\077\200\000\000 \244\277\200\000\000 \244\077\200\000\000 \244\103\264\000\000\n\223abc\nWorldEnd\n' \
    >"$seeds/rib/binary.rib"
cp shaders/*.sl "$seeds/shading_language/"
find tests -name '*.sl' -size -64k -exec cp {} "$seeds/shading_language/" \;
for f in "$root"/build/shaders/*.murn; do
    [ -f "$f" ] && cp "$f" "$seeds/compiled_shader/"
done
# Ray-server queries: each kind once with a ray from the origin along +z, then 'q'.
for q in t v h f i; do
    printf "x$q"'\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\200\077\000\000\000\000' \
        >"$seeds/rayserver/$q"
done
printf 'xtxq' >"$seeds/rayserver/quit"
if [ -x "$bin/raylume" ] && [ -x "$bin/tavrel" ] && [ -x "$bin/murn" ]; then
    work=$(mktemp -d)
    (
        cd "$work"
        "$bin/murn" -q -crypt -o crypt.murn "$root/shaders/plastic.sl" && cp crypt.murn "$seeds/compiled_shader/"
        cat >pic.rib <<'EOF'
Format 16 16 1
PixelSamples 1 1
Display "pic.tif" "file" "rgba"
Option "indirect" "nsamples" 4
Option "indirect" "savefile" "cache.irr"
Projection "perspective" "fov" 40
WorldBegin
LightSource "indirect" 2
LightSource "pointlight" 1 "intensity" 20
Surface "matte"
Translate 0 0 4
Sphere 1 -1 1 360
Sphere 8 -8 8 360
WorldEnd
EOF
        cat >depth.rib <<'EOF'
Format 16 16 1
Display "depth.z" "zfile" "z"
Projection "perspective"
WorldBegin
Translate 0 0 4
Sphere 1 -1 1 360
WorldEnd
EOF
        "$bin/raylume" -silent pic.rib && "$bin/raylume" -silent depth.rib
        "$bin/tavrel" pic.tif pic.tex
        "$bin/tavrel" -envlatl pic.tif latl.env
        "$bin/tavrel" -envcube pic.tif pic.tif pic.tif pic.tif pic.tif pic.tif cube.env
        "$bin/tavrel" -shadow depth.z depth.shad
    ) >/dev/null 2>&1 || true
    for f in pic.tif pic.tex latl.env cube.env depth.shad; do
        [ -f "$work/$f" ] && cp "$work/$f" "$seeds/texture/"
    done
    [ -f "$work/depth.z" ] && cp "$work/depth.z" "$seeds/depth_file/"
    [ -f "$work/cache.irr" ] && cp "$work/cache.irr" "$seeds/irradiance_cache/"
    rm -rf "$work"
fi
# Each entry also sees the stored crash inputs of its kind.
for t in $targets; do
    [ -d "tests/fuzz/regressions/$t" ] && cp tests/fuzz/regressions/"$t"/* "$seeds/$t/" 2>/dev/null || true
done

status=0
for t in $targets; do
    echo "fuzz: $t for ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$fuzzbuild/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -max_len=65536 \
        -close_fd_mask=3 -print_final_stats=0 -artifact_prefix="$fuzzbuild/artifacts/$t/" \
        "$fuzzbuild/corpus/$t" "$seeds/$t" >"$fuzzbuild/artifacts/$t.log" 2>&1; then
        echo "fuzz: $t FOUND A PROBLEM (see $fuzzbuild/artifacts/$t.log and $fuzzbuild/artifacts/$t/)"
        tail -40 "$fuzzbuild/artifacts/$t.log"
        status=1
    fi
done
exit $status
