# 64-bit Windows (PE32+, x86-64) with Debian's MinGW-w64 cross compilers.
# The test programs run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PREKIDNIK_MINGW_TRIPLE x86_64-w64-mingw32)
set(PREKIDNIK_MINGW_ARCH_FLAGS "")
find_program(PREKIDNIK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
