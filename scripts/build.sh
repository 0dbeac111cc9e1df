#!/usr/bin/env bash
# Configures and builds Qadora into build/ (after installing what it needs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Where ccache is (the Windows toolchain installs it), a machine that keeps its caches compiles
# again only what changed, in whichever folder the repository is cloned.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
