#!/bin/sh
# Runs a cross-built program under Wine, finding the DLLs of the toolchain (Qt, OpenSSL,
# libcurl ... and mingw-w64's runtime) without copying them: the build's emulator.
#
# Wine keeps the Linux environment's QT_* variables from Windows programs (they are meant
# for the Linux Qt) but hands WINEQT_X on as QT_X: each QT_X given here goes on that way.
# Qt Test writes to the debugger channel when there is no console; the offscreen platform
# finds fonts only in QT_QPA_FONTDIR (default: the Noto CJK fonts).
cache=${QADORA_WINDOWS_CACHE:-$HOME/.cache/qadora-windows}
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine's drive Z: is the Linux root.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
: "${QT_FORCE_STDERR_LOGGING:=1}"
: "${QT_QPA_FONTDIR:=$(windows_path /usr/share/fonts/opentype/noto)}"
export QT_FORCE_STDERR_LOGGING QT_QPA_FONTDIR
# Wine reads the arguments (Japanese titles, file names) in the locale's character set.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
*UTF-8* | *utf8*) ;;
*) export LC_ALL=C.UTF-8 ;;
esac
for name in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
    eval "export WINE$name=\"\$$name\""
done
if [ -z "${QADORA_WINE_INSTALLED:-}" ]; then
    runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
    export WINEPATH="$(windows_path "$cache/prefix/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
fi
# Now and then Wine itself ends at once, before the program has written a line (seen in CI,
# passing each time it was run again). Such a start is tried once more and said so; a
# program that ran and failed, having written something, is never run again.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
trap 'exit 143' HUP INT TERM
for attempt in 1 2; do
    started=$(date +%s.%N)
    rc=0
    wine "$@" >"$out" 2>"$err" || rc=$?
    cat "$out"
    cat "$err" >&2
    if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 2 ]; then
        exit "$rc"
    fi
    echo "wine-run.sh: Wine ended with $rc after $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $started }") s" \
         "without a word from $1; starting it once more" >&2
done
