#!/bin/sh
# Builds the toolkit and renders the bundled example scene.
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 4)"
cd scenes
rm -f example.tif
../build/bin/raylume example.rib
if [ -f example.tif ]; then echo "raylume: rendered scenes/example.tif"; else echo "raylume: read scenes/example.rib"; fi
