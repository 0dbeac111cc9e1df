#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Qadora needs.
# Safe to run again: packages already present are not fetched twice.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-translations-l10n libqt6svg6
    libicu-dev libsqlite3-dev mdbtools-dev libcurl4-openssl-dev qtkeychain-qt6-dev libssl-dev
    # workbooks: the zip reader under .xlsx and .ods, and the .xlsx writer
    libzip-dev libxlsxwriter-dev
    # the modern page style: answers balanced by an HTML5 parser
    libgumbo-dev
    # the pages' hashes in a site folder's manifest
    libxxhash-dev
    fonts-noto-cjk
    # tests: a second writer, FTP/FTPS/SFTP servers on 127.0.0.1, a display
    sqlite3 python3 python3-pyftpdlib python3-openssl openssl openssh-server openssh-client
    # tests: the site search page's script, run key by key
    nodejs
    xvfb xauth imagemagick
    # tests: the spreadsheet that reads the exported files and writes them back
    libreoffice-calc-nogui
    # the Debian package and its checks
    dpkg-dev file desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
