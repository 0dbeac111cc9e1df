#!/usr/bin/env bash
# The Windows build under Wine: the test suite, cross-built, through CTest (Wine as the
# emulator, Xvfb as the display); then the installer, installed silently into a fresh Wine
# prefix, and its programs: pages byte for byte as the Linux build writes them, a publish
# to FTP and SFTP servers on 127.0.0.1, and the window, whose picture goes to docs/windows/.
#
#   bash scripts/windows/test.sh [--no-suite] [CTEST ARGS...]
#
# Builds the toolchain, the programs and the installer first where they are missing
# (scripts/windows/package.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
cd "$repo"
cache=${QADORA_WINDOWS_CACHE:-$HOME/.cache/qadora-windows}
export QADORA_WINDOWS_CACHE=$cache
export CCACHE_DIR=${CCACHE_DIR:-$cache/ccache} CCACHE_BASEDIR=$repo # as package.sh builds
export WINEDEBUG=-all
jobs=${JOBS:-$(nproc)}
build=$repo/build-windows
suite=1
if [[ ${1:-} == --no-suite ]]; then suite=; shift; fi
log() { printf '== %s\n' "$*" >&2; }
t0=$SECONDS
took() { local s=$((SECONDS - $1)); printf '%dm%02ds' $((s / 60)) $((s % 60)); }
failures=()
fail() { printf 'FAIL: %s\n' "$*" >&2; failures+=("$*"); }

work=$(mktemp -d /tmp/qadora-windows-test.XXXXXX)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    WINEPREFIX=$work/suite-wine wineserver -k 2>/dev/null || true
    WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

bash "$here/package.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/Qadora-$version-setup.exe

# --- The suite -----------------------------------------------------------------------
# Every test program cross-built and run by CTest through wine-run.sh (the build's
# emulator), in a Wine prefix of its own; the FTP, FTPS and SFTP servers the tests start run
# on the Linux side at 127.0.0.1, which Wine shares, started by tests/support/linuxlauncher.py.
# Single tests that cannot apply on Windows skip themselves and say why.
if [[ -n $suite ]]; then
    t=$SECONDS
    log "building the test suite"
    cmake --build "$build" -j"$jobs" >"$work/suite-build.log" 2>&1 \
        || { tail -n 40 "$work/suite-build.log" >&2; exit 1; }
    # The tests' second writer, the sqlite3 shell, as a Windows program: Wine does not start
    # Linux programs. Beside the test programs, where Windows looks for a program first;
    # built from the toolchain's SQLite source against its DLL.
    if [[ ! -e $build/sqlite3.exe ]]; then
        sqlite_src=$(find "$cache/src" -maxdepth 1 -type d -name 'sqlite3-*' -print -quit)
        tclsh "$sqlite_src/tool/mkshellc.tcl" >"$work/shell.c"
        x86_64-w64-mingw32-gcc-posix -O1 -DSQLITE_OMIT_LOAD_EXTENSION -I "$cache/prefix/include" "$work/shell.c" \
            -L "$cache/prefix/lib" -lsqlite3 -o "$build/sqlite3.exe"
    fi
    log "suite built in $(took "$t")"
    t=$SECONDS
    export WINEPREFIX=$work/suite-wine
    bash "$here/wine-prefix.sh" "$WINEPREFIX"
    log "the suite under Wine"
    # The Linux programs the tests start (the FTP/FTPS servers, sshd, ssh-keygen, openssl),
    # which Wine does not start: the launcher starts them here, on the tests' word through
    # 127.0.0.1. Wine passes the variable on to the tests (it keeps back only QT_* ones).
    QADORA_LINUX_LAUNCHER_TOKEN=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n') \
        /usr/bin/python3 tests/support/linuxlauncher.py >"$work/launcher.address" 2>"$work/launcher.log" &
    pids+=($!)
    for _ in $(seq 100); do [[ -s $work/launcher.address ]] && break; sleep 0.1; done
    export QADORA_LINUX_LAUNCHER=$(head -n 1 "$work/launcher.address")
    # One Wine server for the whole run, so that every test does not start its own.
    wineserver -p 600 || true
    # Wine's own services start with the first program and outlive it, holding its standard
    # output: CTest would wait for that test until its timeout. Started here, they hold none.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    (cd "$build" && xvfb-run -a -s "-screen 0 1280x900x24" \
        ctest --output-on-failure -j"$jobs" "$@") 2>&1 | tee "$work/ctest.log" >&2 \
        || true
    grep -q '100% tests passed' "$work/ctest.log" || fail "the test suite under Wine"
    # Every program's output, passed or not, is in CTest's own log.
    skips=$(grep -c '^SKIP   :' "$build/Testing/Temporary/LastTest.log" || true)
    # Each skip with its reason, as the test gave it.
    grep '^SKIP   :' "$build/Testing/Temporary/LastTest.log" | sed 's/^SKIP   : /   skipped: /' >&2 || true
    # Each failure with where it failed, here at the end, where a cut log still shows it.
    grep -A1 '^FAIL!  :' "$build/Testing/Temporary/LastTest.log" | grep -v '^--$' | sed 's/^/   /' >&2 || true
    log "suite: $(grep -m1 'tests passed' "$work/ctest.log"), $skips single tests skipped, in $(took "$t")"
    wineserver -k 2>/dev/null || true
    unset WINEPREFIX QADORA_LINUX_LAUNCHER
fi

# --- The installer, silently, into a fresh prefix ------------------------------------
t=$SECONDS
export WINEPREFIX=$work/wine
bash "$here/wine-prefix.sh" "$WINEPREFIX"
log "installing $setup"
wine "$setup" /S
wineserver -w
appdata_local=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
inst=$(winepath -u "$appdata_local\\Programs\\Qadora" 2>/dev/null)
for f in bin/qadora.exe bin/qadora-build.exe bin/qadora-publish.exe bin/qadora-mdb-reader.exe \
         bin/qt.conf plugins/platforms/qwindows.dll plugins/sqldrivers/qsqlite.dll \
         translations/qtbase_ja.qm share/qadora/sample.mdb share/qadora/sample/index.html uninstall.exe; do
    [[ -e $inst/$f ]] || fail "the installer did not install $f"
done
menu=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
[[ -e $menu/Qadora.lnk ]] || fail "no Start menu entry"
wine reg query 'HKCU\Software\Classes\.mdb\OpenWithProgids' 2>/dev/null | grep -q Qadora.Database \
    || fail "Qadora is not offered to open .mdb files"
log "installed in $(took "$t")"
# The installed programs run on what the installer put beside them, nothing else.
export QADORA_WINE_INSTALLED=1
run_installed() { "$here/wine-run.sh" "$inst/bin/$1.exe" "${@:2}"; }

# --- The same pages as the Linux build -----------------------------------------------
t=$SECONDS
log "building the Linux programs to compare with"
bash scripts/setup.sh # their libraries, the FTP and SSH servers
if [[ ! -e build/CMakeCache.txt ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$jobs" --target qadora-build qadora_make_sample qadora_sample >"$work/linux-build.log" 2>&1 \
    || { tail -n 40 "$work/linux-build.log" >&2; exit 1; }
# 2,000 records over 40 kinds: markup, line breaks, half-width kana and the characters
# code page 932 maps in its own way.
python3 - "$work/big.tsv" <<'PY'
import sys
odd = ["～", "－", "∥", "￢", "①", "㈱", "ｱｲｳ", "&amp;", "<b>太字</b>", "髙", "﨑", "\\n",
       # markup the modern style's HTML parser must balance as Linux's does
       "<b>閉じない", "</i>", "<table><tr><td>セル", "<ul><li>一<li>二", "<p>段落<div>塊</p>",
       "<svg><circle r=1></svg>", "&copy;&bogus;"]
with open(sys.argv[1], "w", encoding="utf-8") as out:
    for i in range(2000):
        kind = "sub%03d,種類その%d" % (i % 40, i % 40)
        q = "質問 %d は何ですか？%s" % (i, odd[i % len(odd)])
        a = "答え %d。%s\\n二行目 <a href=\"http://example.com/%d\">リンク</a>%s" % (i, odd[(i * 7) % len(odd)], i, odd[(i * 3) % len(odd)])
        out.write("%s\t%s\t%s\n" % (kind, q, a))
PY
build/data/qadora_make_sample "$work/big.tsv" "$work/big.mdb"
cp build/data/sample.mdb "$work/sample.mdb"
compared=0
for db in sample big; do
    for style in frameless framed modern; do
        args=(--quiet --style "$style" --title "Qadora よくある質問" --return-url "http://example.com/")
        mkdir -p "$work/linux-$db-$style" "$work/windows-$db-$style"
        build/app/qadora-build "${args[@]}" "$work/$db.mdb" "$work/linux-$db-$style"
        if ! run_installed qadora-build "${args[@]}" "$(winepath -w "$work/$db.mdb")" \
                "$(winepath -w "$work/windows-$db-$style")"; then
            fail "the installed qadora-build.exe on $db.mdb ($style)"
            continue
        fi
        pages=$(find "$work/linux-$db-$style" -type f | wc -l)
        if diff -r -q "$work/linux-$db-$style" "$work/windows-$db-$style" >"$work/diff" 2>&1; then
            log "$db.mdb, $style: $pages files, the same bytes"
            compared=$((compared + pages))
        else
            fail "$db.mdb, $style: the pages differ ($(wc -l <"$work/diff") files), e.g. $(head -n 3 "$work/diff")"
        fi
    done
done
log "pages compared in $(took "$t"): $compared files"

# --- Publishing to FTP and SFTP on 127.0.0.1 -----------------------------------------
t=$SECONDS
site=$work/windows-sample-framed
password=tiger-$$
mkdir -p "$work/ftp-root/www"
# Debian's python3, which has python3-pyftpdlib (a pyenv or venv python3 may not).
/usr/bin/python3 tests/publish/ftpserver.py --root "$work/ftp-root" --user web --password "$password" \
    >"$work/ftp.port" 2>"$work/ftp.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/ftp.port ]] && break; sleep 0.1; done
ftp_port=$(head -n 1 "$work/ftp.port")
if QADORA_PUBLISH_PASSWORD=$password run_installed qadora-publish --quiet --yes \
        "$(winepath -w "$site")" "ftp://web@127.0.0.1:$ftp_port/www/qa" >"$work/ftp.out" 2>&1 \
   && diff -r -q -x '.qadora-*' "$site" "$work/ftp-root/www/qa" >/dev/null; then
    log "FTP: $(tail -n 1 "$work/ftp.out")"
else
    fail "publishing by FTP: $(tail -n 3 "$work/ftp.out")"
fi

sshd_dir=$work/sshd
mkdir -p "$sshd_dir" /run/sshd "$work/sftp-root"
ssh-keygen -q -t ed25519 -N "" -f "$sshd_dir/hostkey"
ssh-keygen -q -t ed25519 -N "" -f "$sshd_dir/id_ed25519"
cp "$sshd_dir/id_ed25519.pub" "$sshd_dir/authorized_keys"
fingerprint=$(ssh-keygen -lf "$sshd_dir/hostkey.pub" | cut -d' ' -f2)
sftp_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$sshd_dir/sshd_config" <<CONF
Port $sftp_port
ListenAddress 127.0.0.1
HostKey $sshd_dir/hostkey
PidFile $sshd_dir/sshd.pid
AuthorizedKeysFile $sshd_dir/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
CONF
/usr/sbin/sshd -D -e -f "$sshd_dir/sshd_config" 2>"$sshd_dir/sshd.log" &
pids+=($!)
for _ in $(seq 100); do (echo >"/dev/tcp/127.0.0.1/$sftp_port") 2>/dev/null && break; sleep 0.1; done
if run_installed qadora-publish --quiet --yes \
        --identity "$(winepath -w "$sshd_dir/id_ed25519")" \
        --known-hosts "$(winepath -w "$sshd_dir/known_hosts")" --accept-host-key "$fingerprint" \
        "$(winepath -w "$site")" "sftp://root@127.0.0.1:$sftp_port$work/sftp-root/www/qa" >"$work/sftp.out" 2>&1 \
   && diff -r -q -x '.qadora-*' "$site" "$work/sftp-root/www/qa" >/dev/null; then
    log "SFTP: $(tail -n 1 "$work/sftp.out")"
else
    fail "publishing by SFTP: $(tail -n 3 "$work/sftp.out")"
fi
log "publishing in $(took "$t")"

# --- The installed window ------------------------------------------------------------
t=$SECONDS
mkdir -p docs/windows
shot=$repo/docs/windows/window.png
rm -f "$shot" # the picture kept in the repository says nothing of this run
cp "$work/sample.mdb" "$work/サンプル.mdb"
# Wine's desktop belongs to the running Wine server, started above without a display: a
# window would go to no screen. A new server starts with Xvfb's.
wineserver -k 2>/dev/null || true
wineserver -w
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    "$1/wine-run.sh" "$2/bin/qadora.exe" "$(winepath -w "$3")" & pid=$!
    sleep "${QADORA_WINDOW_WAIT:-30}"
    kill -0 $pid || exit 1 # the window ended before it could be seen
    import -window root "$4" || exit 1
    kill $pid 2>/dev/null
    WINEPREFIX='"$WINEPREFIX"' wineserver -k' _ "$here" "$inst" "$work/サンプル.mdb" "$shot" \
    || fail "the installed window did not start"
[[ -s $shot ]] && log "the window: $shot" || fail "no picture of the window"
log "window in $(took "$t")"

# --- And the uninstaller leaves nothing of the program behind ------------------------
wine "$inst/uninstall.exe" /S _?="$(winepath -w "$inst")"
wineserver -w
[[ ! -e $inst/bin ]] || fail "the uninstaller left $inst/bin"

log "done in $(took "$t0")"
if ((${#failures[@]})); then
    printf 'FAILED: %s\n' "${failures[@]}" >&2
    exit 1
fi
