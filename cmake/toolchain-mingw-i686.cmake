# The shipped 32-bit build (see toolchain-mingw.cmake).
set(QV_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
