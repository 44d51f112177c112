# The 64-bit build of the same source (see toolchain-mingw.cmake).
set(QV_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
