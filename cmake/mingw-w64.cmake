# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads, for std::thread).
# DOZIDUVOV_WIN_PREFIX is where scripts/windows-toolchain put Qt and the libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT DOZIDUVOV_WIN_PREFIX)
    if(DEFINED ENV{DOZIDUVOV_WIN_PREFIX})
        set(DOZIDUVOV_WIN_PREFIX $ENV{DOZIDUVOV_WIN_PREFIX})
    else()
        set(DOZIDUVOV_WIN_PREFIX /opt/doziduvov-win64)
    endif()
endif()
# Try-compile projects see the variable too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DOZIDUVOV_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${DOZIDUVOV_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must never hand out the build machine's libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${DOZIDUVOV_WIN_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")

# Test programs run under Wine (their listing too, for gtest_discover_tests).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
