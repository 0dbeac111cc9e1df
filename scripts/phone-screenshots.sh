#!/usr/bin/env bash
# Shows a page of the sample site as a phone 390 px wide shows it, without and with the
# viewport line of 「スマートフォン向けの表示にする」 (qadora-build --viewport), into
# docs/phone-plain.png and docs/phone-viewport.png. Headless Chromium emulates the phone
# through the DevTools protocol (a mobile screen lays a page without the line out 980 px
# wide and shrinks it). Chromium is needed only here, so it is installed here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
for p in chromium python3-websocket; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
        || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$p"
done

work=$(mktemp -d)
chromium_pid=""
stop() {
    if [ -n "$chromium_pid" ]; then
        kill "$chromium_pid"
        wait "$chromium_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop EXIT
for style in plain viewport; do
    mkdir -p "$work/$style"
    extra=()
    [ "$style" = viewport ] && extra=(--viewport)
    build/app/qadora-build --quiet --title "Qadora よくある質問" --style framed "${extra[@]}" \
        build/data/sample.mdb "$work/$style"
done

chromium --headless=new --no-sandbox --disable-gpu --hide-scrollbars --remote-debugging-port=9333 \
    --user-data-dir="$work/profile" about:blank >"$work/chromium.log" 2>&1 &
chromium_pid=$!

/usr/bin/python3 - "$work" "$PWD/docs" <<'EOF'
import base64, json, sys, time, urllib.request
import websocket

work, docs = sys.argv[1], sys.argv[2]
for _ in range(100):
    try:
        pages = json.load(urllib.request.urlopen("http://127.0.0.1:9333/json"))
        break
    except OSError:
        time.sleep(0.1)
page = next(p for p in pages if p["type"] == "page")
ws = websocket.create_connection(page["webSocketDebuggerUrl"])
counter = 0

def call(method, **params):
    global counter
    counter += 1
    ws.send(json.dumps({"id": counter, "method": method, "params": params}))
    while True:
        message = json.loads(ws.recv())
        if message.get("id") == counter:
            return message.get("result", {})

def wait_for(event):
    while json.loads(ws.recv()).get("method") != event:
        pass

# An iPhone-sized screen: 390 CSS pixels wide, two device pixels per CSS pixel.
call("Emulation.setDeviceMetricsOverride", width=390, height=700, deviceScaleFactor=2, mobile=True)
call("Page.enable")
for style in ("plain", "viewport"):
    call("Page.navigate", url=f"file://{work}/{style}/qa001.html")
    wait_for("Page.loadEventFired")
    shot = call("Page.captureScreenshot", format="png")
    with open(f"{docs}/phone-{style}.png", "wb") as f:
        f.write(base64.b64decode(shot["data"]))
ws.close()
EOF
echo "docs/phone-plain.png docs/phone-viewport.png"
