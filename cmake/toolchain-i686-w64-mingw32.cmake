# 32-bit Windows (PE32, i386) with Debian's MinGW-w64 cross compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PREKIDNIK_MINGW_TRIPLE i686-w64-mingw32)
# SSE2 arithmetic, so that single-precision steps round on this build exactly
# as on the 64-bit ones; the x87 unit would keep extra precision between them.
set(PREKIDNIK_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
