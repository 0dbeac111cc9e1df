#!/usr/bin/env bash
# Renders the six tabs into docs/tab0.png … docs/tab5.png under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cmake --build build --target qadora_screenshots
xvfb-run -a -s "-screen 0 1280x900x24" build/scripts/qadora_screenshots "$PWD/docs"
