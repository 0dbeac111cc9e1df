#!/usr/bin/env bash
# The site search in headless Chromium (Debian's) at 390×844 with a 4× CPU slowdown, on modern
# sites of 2,000 and 30,000 records (or the sizes given), served over loopback. puppeteer-core
# is installed from npm into a folder of its own; nothing else is fetched.
#   bench/search_browser.sh [BUILD_DIR] [records...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
shift || true
sizes=("${@:-2000 30000}")
tools="${QADORA_BENCH_TOOLS:-$HOME/.cache/qadora-bench-node}"
if [ ! -d "$tools/node_modules/puppeteer-core" ]; then
    mkdir -p "$tools"
    (cd "$tools" && npm install --silent --no-audit --no-fund puppeteer-core@22 >/dev/null)
fi
work="$(mktemp -d)"
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
for n in ${sizes[@]}; do
    QADORA_BENCH_KEEP="$work" "$build/bench/qadora_modern_bench" "$n"
    port=$((20000 + RANDOM % 20000))
    python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site$n" >/dev/null 2>&1 &
    server=$!
    sleep 1
    echo "== $n records: search in Chromium (390x844, CPU 4x slower)"
    NODE_PATH="$tools/node_modules" node "$here/search_browser.js" "http://127.0.0.1:$port" "$work/site$n"
    echo "== $n records: the same queries computed in node (no slowdown)"
    node "$here/search_fetch.js" "$work/site$n"
    kill "$server"
done
