# The Qt stage of toolchain.sh (sourced by it): qtbase from Debian's source package, with the
# two fixes Debian's tree needs for a Windows build.

stage_qt() {
    local s
    s=$(srcdir qt6-base)
    # Debian drops Qt's copy of the Wintab headers; Wine ships LGPL ones.
    local w=$s/src/3rdparty/wintab
    if [[ ! -e $w/wintab.h ]]; then
        mkdir -p "$w"
        cp /usr/include/wine/wine/windows/wintab.h /usr/include/wine/wine/windows/pktdef.h "$w/" 2>/dev/null \
            || cp "$(find /usr/include/wine -name wintab.h | head -n1)" \
                  "$(find /usr/include/wine -name pktdef.h | head -n1)" "$w/"
    fi
    # Wine's headers are written for its own build: they use Wine's A/W type macros and
    # lack Wacom's API calling-convention macro, which Qt's tablet support uses.
    if ! grep -q 'qadora: wine wintab' "$w/wintab.h"; then
        { cat <<'H'
/* qadora: wine wintab compatibility */
#include <windows.h>
#ifndef WINELIB_NAME_AW
# ifdef UNICODE
#  define WINELIB_NAME_AW(func) func##W
# else
#  define WINELIB_NAME_AW(func) func##A
# endif
#endif
#ifndef DECL_WINELIB_TYPE_AW
# ifdef UNICODE
#  define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
# else
#  define DECL_WINELIB_TYPE_AW(type) typedef type##A type;
# endif
#endif
#ifndef API
# define API WINAPI
#endif
H
          cat "$w/wintab.h"; } > "$w/wintab.h.new"
        mv "$w/wintab.h.new" "$w/wintab.h"
    fi
    patch_qt_direct2d "$s"
    patch_qt_jit_stack "$s"
    cmake -G Ninja -S "$s" -B "$bld/qt" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" $launcher \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DBUILD_SHARED_LIBS=ON \
        -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_icu=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_openssl=OFF -DFEATURE_glib=OFF -DFEATURE_sql_odbc=OFF \
        -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF \
        -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
        -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
        -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.dll.a" \
        -DFEATURE_style_windowsvista=ON -DFEATURE_direct2d=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_jpeg=OFF \
        -DFEATURE_schannel=OFF -DFEATURE_ssl=OFF -DFEATURE_tuiotouch=OFF -DFEATURE_gif=OFF
    cmake --build "$bld/qt" -j"$jobs"
    cmake --install "$bld/qt"
    for p in windows offscreen minimal; do
        ls "$prefix/plugins/platforms/"q"$p".dll >/dev/null
    done
}

# Qt 6.4's windows plugin uses its DirectWrite font database under directwrite3 alone,
# though Qt Gui builds that database only with Direct2D, which we leave out.
patch_qt_direct2d() {
    local f=$1/src/plugins/platforms/windows/qwindowsintegration.cpp
    grep -q 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$f" && return
    sed -i 's/^#\( *\)if QT_CONFIG(directwrite3)$/#\1if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$f"
    grep -q 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$f"
}

# mingw-w64's emulated thread-local storage frees a thread's objects before their destructors
# run, so a thread that used a regular expression crashed as it ended, in the destructor of
# its JIT stack holder. A plain pointer has no destructor; the stack, made only for a match
# too deep for PCRE's default one, is left to the process.
patch_qt_jit_stack() {
    local f=$1/src/corelib/text/qregularexpression.cpp
    grep -q 'qadora: no thread_local destructor' "$f" && return
    sed -i \
        -e 's|^static thread_local std::unique_ptr<pcre2_jit_stack_16, PcreJitStackFree> jitStacks;$|static thread_local pcre2_jit_stack_16 *jitStacks = nullptr; // qadora: no thread_local destructor|' \
        -e 's|return jitStacks.get();|return jitStacks;|' \
        -e 's|jitStacks.reset(pcre2_jit_stack_create_16(|jitStacks = (pcre2_jit_stack_create_16(|' "$f"
    grep -q 'qadora: no thread_local destructor' "$f" && ! grep -q 'jitStacks\.' "$f"
}
