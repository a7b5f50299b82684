# 32-bit Windows (PE32, i386) with Debian's MinGW-w64 cross compilers, for
# every Windows from XP SP3 (5.1) on, on any i686 processor: no SSE2, so
# floating point runs on the x87 unit (main_window/form_region.cpp stores
# each single-precision step, which rounds it as SSE would).
# The test programs run under 32-bit Wine where this machine can run it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PREKIDNIK_MINGW_TRIPLE i686-w64-mingw32)
set(PREKIDNIK_MINGW_ARCH_FLAGS "-march=i686 -mtune=generic")
# Windows XP: the API the code may ask for, and the version in the PE header.
set(PREKIDNIK_WINDOWS_API 0x0501)
set(PREKIDNIK_WINDOWS_MAJOR 5)
set(PREKIDNIK_WINDOWS_MINOR 1)
find_program(PREKIDNIK_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
