#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with its dependencies, and runs the
# installed programs: qadora-build --help, the sample site, and the window under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF >/dev/null
cmake --build build-package
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls -t build-package/qadora_*.deb | head -n 1)
echo "== package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$deb" >/dev/null

echo "== installed files"
for f in /usr/bin/qadora /usr/bin/qadora-build /usr/bin/qadora-publish /usr/bin/qadora-mdb-reader \
         /usr/share/applications/qadora.desktop /usr/share/metainfo/io.github.qadora.Qadora.metainfo.xml \
         /usr/share/qadora/sample.mdb /usr/share/qadora/README.md; do
    test -e "$f" || { echo "missing: $f"; exit 1; }
done
man -w qadora qadora-build qadora-publish
desktop-file-validate /usr/share/applications/qadora.desktop
appstreamcli validate --no-net /usr/share/metainfo/io.github.qadora.Qadora.metainfo.xml

echo "== qadora-build from the package"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
qadora-build --help | head -n 3
mkdir "$work/site"
qadora-build --quiet --stats --title "Qadora よくある質問" /usr/share/qadora/sample.mdb "$work/site"
test -f "$work/site/index.html"
qadora-publish --help | head -n 3

echo "== the window under Xvfb"
HOME="$work" xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    qadora & pid=$!
    sleep 4
    kill -0 $pid
    import -window root "'"$work"'/window.png"
    # The window shows the program'"'"'s own icon (drawn by the SVG icon plugin).
    for id in $(xwininfo -root -tree -int | grep "\"Qadora\"" | awk "{print \$1}"); do
        xprop -id "$id" _NET_WM_ICON | grep -q "Icon (" && touch "'"$work"'/icon"
    done
    kill $pid'
test -s "$work/window.png"
test -e "$work/icon" || { echo "the installed window has no icon"; exit 1; }
cp "$work/window.png" build-package/installed-window.png
echo "== the installed program runs; its window is in build-package/installed-window.png"
