# Cross build for Windows with mingw-w64 (posix threads), run under Wine.
# Included by toolchain-mingw-<arch>.cmake, which sets QV_MINGW_ARCH: i686
# (the shipped 32-bit installer) or x86_64 (the same source under 64-bit Wine,
# for machines that cannot execute 32-bit programs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QV_MINGW_ARCH})
set(CMAKE_C_COMPILER ${QV_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW_ARCH}-w64-mingw32-windres)
# Static libraries hold intermediate code for link-time optimisation
# (cmake/size.cmake): gcc-ar indexes it.
set(CMAKE_AR /usr/bin/${QV_MINGW_ARCH}-w64-mingw32-gcc-ar)
set(CMAKE_RANLIB /usr/bin/${QV_MINGW_ARCH}-w64-mingw32-gcc-ranlib)
set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine in a private prefix below the build tree (see cmake/wine-run.in).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
