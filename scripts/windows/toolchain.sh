#!/usr/bin/env bash
# Builds the Windows cross toolchain from nothing: Debian's mingw-w64, Wine and
# NSIS, and from Debian's source packages SQLite, OpenSSL, libssh2, libcurl and
# Qt's qtbase; libmdb and QtKeychain from their pinned release archives.
# Everything goes into a cache folder outside the repository; each stage is
# skipped once it has finished, so a second run costs nothing.
#
#   QADORA_WINDOWS_CACHE    cache folder (default ~/.cache/qadora-windows)
#   QADORA_WINDOWS_SOURCES  folder holding the pinned archives
#                           (default: shared/windows-sources beside the clone, else
#                           /work/shared/windows-sources)
#   JOBS                    parallel jobs (default: number of cores)
#
# Usage: scripts/windows/toolchain.sh [stage...]   (default: all stages)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache=${QADORA_WINDOWS_CACHE:-$HOME/.cache/qadora-windows}
sources=${QADORA_WINDOWS_SOURCES:-}
if [[ -z $sources ]]; then
    sources=$repo/../shared/windows-sources
    [[ -d $sources ]] || sources=/work/shared/windows-sources
fi
jobs=${JOBS:-$(nproc)}
host=x86_64-w64-mingw32
src=$cache/src
bld=$cache/build
prefix=$cache/prefix          # every cross-built library and Qt
stamps=$cache/stamps
export WINEPREFIX=$cache/wine
export WINEDEBUG=-all
toolchain_file=$repo/cmake/windows-toolchain.cmake
export QADORA_WINDOWS_CACHE=$cache

# The posix thread model: Qt and C++20 need std::thread and friends.
export CC=$host-gcc-posix CXX=$host-g++-posix
export AR=$host-ar RANLIB=$host-ranlib RC=$host-windres

mkdir -p "$src" "$bld" "$prefix" "$stamps"

# One build of the cache at a time: two clones building the same stage would remove each
# other's build folders.
exec 9>"$cache/.lock"
if ! flock -n 9; then
    printf '== waiting for another toolchain build in %s\n' "$cache" >&2
    flock 9
fi

# A stage built again (after a fix) compiles only what changed. Decided after the apt stage,
# which installs ccache on a fresh machine.
launcher=
use_ccache() {
    if command -v ccache >/dev/null; then
        launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    fi
}

log() { printf '== %s\n' "$*" >&2; }

# CPU seconds (user + system) of the finished child processes so far, in the variable cpu.
# `times` must run in this shell itself: a $(...) subshell would report its own.
child_cpu() {
    local LC_ALL=C # a decimal point, whatever the locale
    times > "$stamps/.times"
    cpu=$(tail -n 1 "$stamps/.times" | awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); n += t[1] * 60 + t[2] } printf "%d", n + 0.5 }')
}
mmss() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# stage NAME: runs stage_NAME unless its stamp exists; prints its wall time and the CPU time
# (user + system) of its processes. On a busy machine the wall time says little; the CPU time
# divided by the cores a stage keeps busy is what it takes on a quiet one.
# The stamp's second line is a digest of the stage's own commands: a kept cache folder builds
# a stage again once its commands have changed. A stamp without one was written by an older
# script, whose commands are unknown: that stage is built again too.
stage() {
    local name=$1 recipe
    recipe=$(declare -f "stage_$name" | sha256sum | cut -c1-16)
    if [[ -e $stamps/$name ]]; then
        local kept
        kept=$(sed -n 2p "$stamps/$name")
        if [[ $kept == "$recipe" ]]; then
            log "$name: done ($(head -n 1 "$stamps/$name"))"
            return
        fi
        log "$name: its commands have changed"
    fi
    log "$name: building"
    # A cache folder moved or copied elsewhere: CMake refuses a build folder made at another path.
    local b=$bld/$name
    if [[ -e $b/CMakeCache.txt ]] && ! grep -qxF "CMAKE_CACHEFILE_DIR:INTERNAL=$b" "$b/CMakeCache.txt"; then
        rm -rf "$b"
    fi
    local t0=$SECONDS c0 cpu rc=0
    child_cpu
    c0=$cpu
    # In a subshell of its own with set -e on, not as `f || ...` (where set -e is off inside
    # f); in the foreground, so that Ctrl-C stops what it runs.
    set +e
    (set -e; "stage_$name")
    rc=$?
    set -e
    # 3: the stage could not be done here and is left for a later run (no stamp).
    if ((rc == 3)); then
        log "$name: left out"
        return
    fi
    ((rc == 0)) || exit "$rc"
    local secs=$((SECONDS - t0))
    child_cpu
    cpu=$((cpu - c0))
    printf '%s\n%s\n' "$(mmss "$secs") wall, $(mmss "$cpu") cpu" "$recipe" > "$stamps/$name"
    log "$name: finished in $(head -n 1 "$stamps/$name")"
}

cmake_cross() {  # cmake_cross SOURCE BUILD [args...]
    local s=$1 b=$2
    shift 2
    cmake -G Ninja -S "$s" -B "$b" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" $launcher "$@"
    cmake --build "$b" -j"$jobs"
    cmake --install "$b"
}

# The unpacked Debian source tree of PACKAGE (apt-get source names it
# PACKAGE-VERSION).
srcdir() {
    local d
    d=$(find "$src" -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -n1)
    [[ -n $d ]] || { echo "no source tree for $1 in $src" >&2; exit 1; }
    echo "$d"
}

windows_packages=(
    mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    libz-mingw-w64-dev binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 libwine-dev nsis nsis-pluginapi
    dpkg-dev cmake ninja-build ccache perl make tcl autoconf automake libtool
    gettext pkg-config curl zip xvfb xauth imagemagick fonts-noto-cjk
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libicu-dev libxxhash-dev
)

# Checked on every run, not stamped: a cache folder kept from another machine says nothing
# about this machine's packages.
stage_apt() {
    # apt-get source needs deb-src lines; the machine has binary ones only.
    local list=/etc/apt/sources.list.d/debian.sources update=
    if ! grep -qs '^Types:.*deb-src' "$list" /etc/apt/sources.list 2>/dev/null \
        && ! grep -rqs '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        sed -i 's/^Types: deb$/Types: deb deb-src/' "$list"
        update=1
    fi
    local p missing=()
    for p in "${windows_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        update=1
    elif [[ -z $update ]]; then
        return 0
    fi
    apt-get update -q
    ((${#missing[@]} == 0)) || DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# fetch_source PACKAGE: the Debian source tree of PACKAGE in $src, unless there already.
fetch_source() {
    local p=$1
    (
        cd "$src"
        find . -maxdepth 1 -type d -name "$p-[0-9]*" | grep -q . && exit 0
        # The newest version the mirror actually serves: a security update may be
        # listed before its files are there.
        local v
        for v in $(apt-cache showsrc "$p" | sed -n 's/^Version: //p' | sort -Vr); do
            apt-get source -q "$p=$v" && exit 0
        done
        echo "no source of $p could be fetched" >&2
        exit 1
    )
}

stage_sources() {
    cd "$src"
    local p
    for p in sqlite3 openssl libssh2 curl qt6-base libzip libxlsxwriter; do
        fetch_source "$p"
    done
    # The pinned upstream archives, checked before use.
    local a
    for a in mdbtools-1.0.0.tar.gz qtkeychain-0.13.2.tar.gz; do
        [[ -e $sources/$a ]] || { echo "$a is not in $sources: set QADORA_WINDOWS_SOURCES to the folder holding it" >&2; exit 1; }
    done
    (cd "$sources" && sha256sum -c --quiet) <<'SUMS'
5664b04c22ae4e5f20bc78fac1112a6fbf094ad2e83afb60398bc428f43d1eb0  mdbtools-1.0.0.tar.gz
a281d1663dc7d85039a63e130daed30162128213719dd11e7817cf7b69be14f3  qtkeychain-0.13.2.tar.gz
SUMS
    rm -rf mdbtools-1.0.0 qtkeychain-0.13.2
    tar xzf "$sources/mdbtools-1.0.0.tar.gz"
    tar xzf "$sources/qtkeychain-0.13.2.tar.gz"
}

stage_sqlite() {
    local s b
    s=$(srcdir sqlite3)
    b=$bld/sqlite
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    # The amalgamation is generated by host tools (lemon, tclsh), then compiled
    # once as a DLL.
    CC=gcc "$s/configure" --disable-tcl --disable-readline >/dev/null
    make CC=gcc sqlite3.c sqlite3.h >/dev/null
    # URI authority: a database on a network share (\\server\share) opens as file://server/share/….
    local defs="-DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE \
        -DSQLITE_ENABLE_JSON1 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION=0 -DSQLITE_ALLOW_URI_AUTHORITY=1"
    $CC -O2 -shared $defs -DSQLITE_API='__declspec(dllexport)' sqlite3.c \
        -o libsqlite3-0.dll -Wl,--out-implib,libsqlite3.dll.a
    mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include" "$prefix/lib/pkgconfig"
    cp libsqlite3-0.dll "$prefix/bin/"
    cp libsqlite3.dll.a "$prefix/lib/"
    cp sqlite3.h sqlite3ext.h "$prefix/include/" 2>/dev/null || cp sqlite3.h "$prefix/include/"
    local ver
    ver=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' sqlite3.h)
    cat > "$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: SQLite
Description: SQL database engine
Version: $ver
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
}

stage_openssl() {
    local s b
    s=$(srcdir openssl)
    b=$bld/openssl
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    # CC and friends are already the cross tools; no prefix on top of them.
    "$s/Configure" mingw64 --prefix="$prefix" --libdir=lib \
        --openssldir="$prefix/ssl" shared no-tests \
        no-legacy no-engine no-module
    # Only the DLLs and their import libraries: `make build_libs` compiles every file twice,
    # once more for the static libraries, which nothing here links.
    make build_generated >/dev/null
    make -j"$jobs" libcrypto.dll.a libssl.dll.a >/dev/null
    # The .pc files' rule names the static libraries too; they are not remade for them.
    make -o libcrypto.a -o libssl.a -o apps/libapps.a libcrypto.pc libssl.pc openssl.pc >/dev/null
    mkdir -p "$prefix/include/openssl" "$prefix/lib/pkgconfig" "$prefix/bin"
    cp "$s"/include/openssl/*.h include/openssl/*.h "$prefix/include/openssl/"
    cp libcrypto.dll.a libssl.dll.a "$prefix/lib/"
    cp libcrypto-3-x64.dll libssl-3-x64.dll "$prefix/bin/"
    cp libcrypto.pc libssl.pc openssl.pc "$prefix/lib/pkgconfig/"
}

stage_libssh2() {
    cmake_cross "$(srcdir libssh2)" "$bld/libssh2" \
        -DCRYPTO_BACKEND=OpenSSL -DBUILD_SHARED_LIBS=ON -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF -DENABLE_ZLIB_COMPRESSION=OFF \
        -DOPENSSL_ROOT_DIR="$prefix"
}

stage_curl() {
    # Publishing needs FTP, FTPS and SFTP only; TLS through OpenSSL, whose
    # certificate checks are real (Wine's Schannel accepts anything).
    cmake_cross "$(srcdir curl)" "$bld/curl" \
        -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
        -DCURL_USE_OPENSSL=ON -DCURL_USE_SCHANNEL=OFF -DCURL_USE_LIBSSH2=ON \
        -DCURL_USE_LIBSSH=OFF -DOPENSSL_ROOT_DIR="$prefix" \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DENABLE_UNIX_SOCKETS=OFF \
        -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_DICT=ON \
        -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_MQTT=ON \
        -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON \
        -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON
}

source "$repo/scripts/windows/toolchain-qt.sh"

# zlib is Debian's own mingw-w64 build (libz-mingw-w64-dev); libzip and libxlsxwriter
# read and write the workbooks.
stage_libzip() {
    dpkg -s libz-mingw-w64-dev >/dev/null 2>&1 \
        || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libz-mingw-w64-dev
    fetch_source libzip
    cmake_cross "$(srcdir libzip)" "$bld/libzip" \
        -DBUILD_SHARED_LIBS=ON -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_DOC=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON
}

stage_xlsxwriter() {
    fetch_source libxlsxwriter
    # Its own minizip and tmpfile code, as in the release.
    cmake_cross "$(srcdir libxlsxwriter)" "$bld/xlsxwriter" \
        -DBUILD_SHARED_LIBS=ON -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF
}

# Gumbo, the HTML5 parser of the modern pages, in this order: Debian's source when the mirror
# serves it; Debian's original archive of the same release from the sources folder, checked
# against the checksum in Debian's source description; else the npm package gumbo-parser
# 0.3.0, pinned by SHA-256, which carries Google's gumbo 0.10.1 C sources unchanged
# (deps/gumbo-parser). Only src/*.c is built, as Debian builds it.
gumbo_npm=gumbo-parser-0.3.0.tgz
gumbo_npm_sha256=d47101b5182186c4646f7eba5107308dbf93392621ae8c12bd35a7d867c8e913
gumbo_source() {
    local orig=gumbo-parser_0.10.1+dfsg.orig.tar.gz d=$src/gumbo-parser-0.10.1
    fetch_source gumbo-parser >/dev/null 2>&1 && return 0
    if [[ -e $sources/$orig ]]; then
        echo "bc03dfa4eeb959b9b1424c11c9450493774b575331e2b24d87aff39dee8c3594  $sources/$orig" \
            | sha256sum -c --quiet
        rm -rf "$d" && mkdir -p "$d"
        tar xzf "$sources/$orig" -C "$d" --strip-components=1
        log "gumbo: Debian's original archive from $sources"
        return 0
    fi
    local tgz=$src/$gumbo_npm
    if [[ ! -e $tgz ]]; then
        if [[ -e $sources/$gumbo_npm ]]; then
            cp "$sources/$gumbo_npm" "$tgz.part"
        else
            local url
            url=$(npm view gumbo-parser@0.3.0 dist.tarball 2>/dev/null) \
                || url=https://registry.npmjs.org/gumbo-parser/-/$gumbo_npm
            curl -fsSL --retry 3 -o "$tgz.part" "$url"
        fi
        mv "$tgz.part" "$tgz"
    fi
    echo "$gumbo_npm_sha256  $tgz" | sha256sum -c --quiet || { rm -f "$tgz"; return 1; }
    grep -q 'AC_INIT(\[gumbo\], \[0.10.1\]' <(tar xzOf "$tgz" package/deps/gumbo-parser/configure.ac)
    rm -rf "$d" && mkdir -p "$d"
    tar xzf "$tgz" -C "$d" --strip-components=3 package/deps/gumbo-parser
    log "gumbo: gumbo 0.10.1 from the npm package $gumbo_npm"
}

stage_gumbo() {
    gumbo_source
    local s
    s=$(srcdir gumbo-parser)
    local b=$bld/gumbo
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    # Plain C99 files; one DLL, no autotools needed.
    $CC -O2 -std=gnu99 -shared -I"$s/src" "$s"/src/*.c -o libgumbo-1.dll \
        -Wl,--out-implib,libgumbo.dll.a
    mkdir -p "$prefix/bin" "$prefix/lib/pkgconfig" "$prefix/include"
    cp libgumbo-1.dll "$prefix/bin/"
    cp libgumbo.dll.a "$prefix/lib/"
    cp "$s/src/gumbo.h" "$s/src/tag_enum.h" "$prefix/include/"
    cat > "$prefix/lib/pkgconfig/gumbo.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: gumbo
Description: Google's HTML5 parser library for C99
Version: 0.10.1
Libs: -L\${libdir} -lgumbo
Cflags: -I\${includedir}
PC
}

stage_mdbtools() {
    local s=$src/mdbtools-1.0.0 b=$bld/mdbtools
    [[ -x $s/configure ]] || (cd "$s" && autoreconf -i -f >/dev/null 2>&1)
    rm -rf "$b" && mkdir -p "$b" && cd "$b"
    # --disable-glib builds libmdb on its own small glib stand-in; without iconv on
    # Windows it converts text itself. Only the library is needed.
    "$s/configure" --host="$host" --prefix="$prefix" --disable-glib --disable-man \
        --disable-iconv --enable-shared --disable-static >/dev/null
    # Its -Werror is for its own developers' compiler, not this one.
    make -j"$jobs" -C src/libmdb CFLAGS="-O2 -I$b/include" >/dev/null
    make -C src/libmdb install >/dev/null
    make -C include install >/dev/null
    mkdir -p "$prefix/lib/pkgconfig"
    cp libmdb.pc "$prefix/lib/pkgconfig/"
}

# xxHash is used from its header alone (XXH_INLINE_ALL), architecture-independent C: the one
# of Debian's libxxhash-dev is all a Windows build needs of it.
stage_xxhash() {
    cp /usr/include/xxhash.h "$prefix/include/"
}

stage_qtkeychain() {
    cmake_cross "$src/qtkeychain-0.13.2" "$bld/qtkeychain" \
        -DBUILD_WITH_QT6=ON -DBUILD_TRANSLATIONS=OFF -DBUILD_TEST_APPLICATION=OFF \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
}

stage_wine() {
    bash "$repo/scripts/windows/wine-prefix.sh" "$WINEPREFIX"
    # Qt's Japanese texts for the programs run from the build tree (Qt looks beside its
    # own prefix); the architecture-independent Debian package has them.
    mkdir -p "$prefix/translations"
    cp /usr/share/qt6/translations/qtbase_ja.qm "$prefix/translations/"
}

all=(apt sources sqlite openssl libssh2 curl qt libzip xlsxwriter gumbo xxhash mdbtools qtkeychain wine)
total0=$SECONDS
rm -f "$stamps/apt"
use_ccache
for s in "${@:-${all[@]}}"; do
    stage "$s"
    if [[ $s == apt ]]; then use_ccache; fi
done
secs=$((SECONDS - total0))
log "toolchain ready in $cache ($(mmss "$secs") wall this run)"
for s in "${all[@]}"; do
    if [[ -e $stamps/$s ]]; then printf '  %-10s %s\n' "$s" "$(head -n 1 "$stamps/$s")" >&2; fi
done
