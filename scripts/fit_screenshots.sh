#!/usr/bin/env bash
# Renders every tab as a scaled screen shows it, into docs/fit/: 1366×768 at 125 % and
# 1920×1080 at 200 %, each tab scrolled to its end where it scrolls, and the focus on lists,
# buttons and text boxes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
for screen in "1366x768 1.25 125" "1920x1080 2 200"; do
    set -- $screen
    out="$PWD/docs/fit/$1-$3"
    rm -rf "$out"
    QT_SCALE_FACTOR=$2 xvfb-run -a -s "-screen 0 $1x24" build/scripts/qadora_fit_screenshots "$out"
done
