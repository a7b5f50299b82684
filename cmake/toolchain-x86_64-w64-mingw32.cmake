# 64-bit Windows (PE32+, x86-64) with Debian's MinGW-w64 cross compilers, for
# every Windows from XP x64 / Server 2003 (5.2) on.
# The test programs run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PREKIDNIK_MINGW_TRIPLE x86_64-w64-mingw32)
set(PREKIDNIK_MINGW_ARCH_FLAGS "")
# Windows XP x64 and Server 2003: the API the code may ask for, and the
# version in the PE header.
set(PREKIDNIK_WINDOWS_API 0x0502)
set(PREKIDNIK_WINDOWS_MAJOR 5)
set(PREKIDNIK_WINDOWS_MINOR 2)
find_program(PREKIDNIK_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
