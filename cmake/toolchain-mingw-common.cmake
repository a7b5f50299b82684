# What both MinGW-w64 toolchain files share; PREKIDNIK_MINGW_TRIPLE names the
# target.
# The POSIX thread model: its libstdc++ has std::mutex and std::thread, which
# GoogleTest needs; winpthread is linked in statically.
set(CMAKE_C_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PREKIDNIK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "${PREKIDNIK_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PREKIDNIK_MINGW_ARCH_FLAGS}")
# libgcc, libstdc++ and winpthread linked in: the programs need no DLL that
# Windows does not bring.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
