#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
# Each failure with where it failed once more at the end, where a cut log still shows it.
ctest --output-on-failure -j"$(nproc)" \
    || { grep -A1 '^FAIL!  :' Testing/Temporary/LastTest.log | grep -v '^--$' >&2; exit 1; }
