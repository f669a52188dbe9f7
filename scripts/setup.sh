#!/bin/sh
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -e
PKGS="build-essential cmake ninja-build pkg-config libgtest-dev libtiff-dev libtiff-tools zlib1g-dev \
libgl1-mesa-dev libglu1-mesa-dev libx11-dev xvfb x11-utils flex bison cpp \
clang libclang-rt-14-dev"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "setup: installing$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
