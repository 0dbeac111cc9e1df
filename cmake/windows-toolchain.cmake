# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
# The libraries and Qt come from scripts/windows/toolchain.sh, which installs
# them into QADORA_WINDOWS_CACHE/prefix (default ~/.cache/qadora-windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_qw_host x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_qw_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_qw_host}-g++-posix)
set(CMAKE_RC_COMPILER ${_qw_host}-windres)
set(CMAKE_AR ${_qw_host}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_qw_host}-ranlib CACHE FILEPATH "")

if(NOT QADORA_WINDOWS_CACHE)
    if(DEFINED ENV{QADORA_WINDOWS_CACHE})
        set(QADORA_WINDOWS_CACHE "$ENV{QADORA_WINDOWS_CACHE}")
    else()
        set(QADORA_WINDOWS_CACHE "$ENV{HOME}/.cache/qadora-windows")
    endif()
endif()
set(QADORA_WINDOWS_CACHE "${QADORA_WINDOWS_CACHE}" CACHE PATH "Windows toolchain cache")
set(QADORA_WINDOWS_PREFIX "${QADORA_WINDOWS_CACHE}/prefix")
# try_compile projects see only what is passed on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QADORA_WINDOWS_CACHE)

set(CMAKE_FIND_ROOT_PATH /usr/${_qw_host} "${QADORA_WINDOWS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${QADORA_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the host's libraries: the toolchain's own, and Debian's
# mingw-w64 zlib.
set(ENV{PKG_CONFIG_LIBDIR} "${QADORA_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${_qw_host}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# The .pc files name the prefix they were installed into; a cache folder that was moved or
# copied (QADORA_WINDOWS_CACHE pointing elsewhere) would hand out the old folder's headers and
# libraries. pkgconf takes the prefix from where each .pc file lies instead.
set(PKG_CONFIG_ARGN --define-prefix CACHE STRING "Arguments to supply to pkg-config")

# Qt's build tools (moc, rcc, uic) run on the host: Debian's Qt of the same version.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()

# Tests, and the programs the build runs (the sample site), run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/wine-run.sh")
