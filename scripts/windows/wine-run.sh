#!/bin/sh
# Runs a cross-built program under Wine, finding the DLLs of the toolchain (Qt, OpenSSL,
# libcurl ... and mingw-w64's runtime) without copying them: the build's emulator.
cache=${QADORA_WINDOWS_CACHE:-$HOME/.cache/qadora-windows}
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine's drive Z: is the Linux root.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(windows_path "$cache/prefix/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
exec wine "$@"
