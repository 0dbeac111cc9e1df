#!/usr/bin/env bash
# Renders the six tabs, a message box, the version box, the help window, the progress dialog,
# the backups to restore from and the publish dialog (after a real publish to an FTP server on 127.0.0.1) into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
work=$(mktemp -d)
/usr/bin/python3 tests/publish/ftpserver.py --root "$work" --user web --password password >"$work.port" 2>/dev/null &
server=$!
trap 'kill $server; rm -rf "$work" "$work.port"' EXIT
for _ in $(seq 50); do [ -s "$work.port" ] && break; sleep 0.1; done
QADORA_SCREENSHOT_FTP_PORT=$(cat "$work.port") \
    xvfb-run -a -s "-screen 0 1280x900x24" build/scripts/qadora_screenshots "$PWD/docs"
