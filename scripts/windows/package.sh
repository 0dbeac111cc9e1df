#!/usr/bin/env bash
# Cross-builds Qadora for 64-bit Windows and packs it: the installer
# build-windows/Qadora-<version>-setup.exe and the portable build-windows/Qadora-<version>.zip.
# Builds the cross toolchain first where it is missing (scripts/windows/toolchain.sh; a
# finished toolchain costs nothing).
#
# The programs are staged with exactly the DLLs and Qt plugins they import, found by walking
# the PE import tables; the layout is the Linux one, so the programs find their data the
# same way:
#   bin\        the programs, their DLLs, qt.conf
#   plugins\    platforms\qwindows.dll, styles\qwindowsvistastyle.dll, sqldrivers\qsqlite.dll
#   translations\qtbase_ja.qm
#   share\qadora\  README.md, sample.mdb and its site
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
cd "$repo"
cache=${QADORA_WINDOWS_CACHE:-$HOME/.cache/qadora-windows}
export QADORA_WINDOWS_CACHE=$cache
prefix=$cache/prefix
host=x86_64-w64-mingw32
jobs=${JOBS:-$(nproc)}
build=$repo/build-windows
log() { printf '== %s\n' "$*" >&2; }
t0=$SECONDS

bash "$here/toolchain.sh"

log "cross-building Qadora in $build"
# The compiler cache beside the toolchain, with paths taken from this clone: a kept toolchain
# folder then rebuilds an unchanged Qadora from any clone in moments.
export CCACHE_DIR=${CCACHE_DIR:-$cache/ccache} CCACHE_BASEDIR=$repo
export WINEPREFIX=$cache/wine WINEDEBUG=-all
cmake --preset windows -DBUILD_TESTING="${QADORA_WINDOWS_TESTS:-ON}" >/dev/null
programs=(qadora qadora-build qadora-publish qadora-csv qadora-mdb-reader)
cmake --build "$build" -j"$jobs" --target "${programs[@]}" qadora_sample
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

stage=$build/stage/Qadora
rm -rf "$build/stage"
mkdir -p "$stage/bin" "$stage/plugins" "$stage/translations" "$stage/share/qadora"

# Where the DLLs come from: the toolchain, mingw-w64's runtime (libstdc++, libgcc,
# winpthread) and Debian's mingw-w64 zlib. What none of them has is Windows' own.
runtime=$(dirname "$($host-g++-posix -print-file-name=libstdc++-6.dll)")
dll_dirs=("$prefix/bin" "$runtime" "/usr/$host/lib")
system32=$cache/wine/drive_c/windows/system32

find_dll() {
    local d f
    for d in "${dll_dirs[@]}"; do
        f=$(find "$d" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)
        [[ -n $f ]] && { echo "$f"; return 0; }
    done
    return 1
}

declare -A seen=()
# stage_imports FILE: copies every DLL FILE imports, and theirs, into bin\.
stage_imports() {
    local dll path
    while read -r dll; do
        local key=${dll,,}
        [[ -n ${seen[$key]:-} ]] && continue
        seen[$key]=1
        # API sets (api-ms-win-*, ext-ms-*) are names Windows' loader resolves, never files.
        [[ $key == api-ms-win-* || $key == ext-ms-* ]] && continue
        if path=$(find_dll "$dll"); then
            cp "$path" "$stage/bin/"
            stage_imports "$path"
        elif [[ ! -e $system32/$key ]] && ! find "$system32" -maxdepth 1 -iname "$dll" | grep -q .; then
            echo "$1 imports $dll, found neither in the toolchain nor in Windows" >&2
            exit 1
        fi
    done < <($host-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
}

for p in "${programs[@]}"; do
    # The build puts its programs beside each other, where Windows finds their DLLs.
    exe=$build/$p.exe
    [[ -e $exe ]] || { echo "no $p.exe in $build" >&2; exit 1; }
    cp "$exe" "$stage/bin/"
    stage_imports "$stage/bin/$p.exe"
done
# The plugins Qt loads by name: the window system, the native style, the SQLite driver.
for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll sqldrivers/qsqlite.dll; do
    mkdir -p "$stage/plugins/$(dirname "$plugin")"
    cp "$prefix/plugins/$plugin" "$stage/plugins/$plugin"
    stage_imports "$stage/plugins/$plugin"
done
$host-strip --strip-unneeded "$stage"/bin/*.exe "$stage"/bin/*.dll "$stage"/plugins/*/*.dll

cat > "$stage/bin/qt.conf" <<'CONF'
[Paths]
Prefix=..
Plugins=plugins
Translations=translations
CONF
cp /usr/share/qt6/translations/qtbase_ja.qm "$stage/translations/"
cp "$repo/app/windows/qadora.ico" "$repo/app/windows/qadora.png" "$stage/"
cp "$repo/README.md" "$build/data/sample.mdb" "$stage/share/qadora/"
cp -r "$build/data/sample" "$stage/share/qadora/"
for f in LICENSE COPYING; do
    [[ -e $repo/$f ]] && cp "$repo/$f" "$stage/$f.txt"
done

# The uninstaller removes exactly what was installed, never a folder the user chose with
# other files in it.
files=$build/stage/installed-files.nsh
{
    (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
} > "$files"

setup=$build/Qadora-$version-setup.exe
log "installer $setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILELIST="$files" -DOUTFILE="$setup" \
    "$here/qadora.nsi"
zipfile=$build/Qadora-$version.zip
rm -f "$zipfile"
(cd "$build/stage" && zip -q -r -9 "$zipfile" Qadora)

secs=$((SECONDS - t0))
log "done in $((secs / 60))m$(printf %02d $((secs % 60)))s"
ls -l "$setup" "$zipfile" >&2
