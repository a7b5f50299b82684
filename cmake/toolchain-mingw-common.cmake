# What both MinGW-w64 toolchain files share; PREKIDNIK_MINGW_TRIPLE names the
# target.
# The POSIX thread model: its libstdc++ has std::mutex and std::thread, which
# GoogleTest needs; winpthread is linked in statically into the test
# programs.
set(CMAKE_C_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PREKIDNIK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PREKIDNIK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Windows headers declare only what the oldest supported Windows has;
# what needs a later one is looked up at run time.
set(PREKIDNIK_WINDOWS_FLAGS "-D_WIN32_WINNT=${PREKIDNIK_WINDOWS_API} -DWINVER=${PREKIDNIK_WINDOWS_API}")
set(CMAKE_C_FLAGS_INIT "${PREKIDNIK_MINGW_ARCH_FLAGS} ${PREKIDNIK_WINDOWS_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PREKIDNIK_MINGW_ARCH_FLAGS} ${PREKIDNIK_WINDOWS_FLAGS}")
# The oldest Windows whose loader may start the programs.
set(PREKIDNIK_PE_VERSION_FLAGS
    "-Wl,--major-os-version=${PREKIDNIK_WINDOWS_MAJOR},--minor-os-version=${PREKIDNIK_WINDOWS_MINOR},--major-subsystem-version=${PREKIDNIK_WINDOWS_MAJOR},--minor-subsystem-version=${PREKIDNIK_WINDOWS_MINOR}")
# The shipped program links the runtime of the win32 thread model instead
# (see platform/win32/CMakeLists.txt): the POSIX one imports functions that
# Windows XP does not have.
execute_process(COMMAND ${PREKIDNIK_MINGW_TRIPLE}-gcc-win32 -print-libgcc-file-name
                OUTPUT_VARIABLE PREKIDNIK_MINGW_WIN32_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(PREKIDNIK_MINGW_WIN32_RUNTIME_DIR "${PREKIDNIK_MINGW_WIN32_LIBGCC}" DIRECTORY)
# libgcc, libstdc++ and winpthread linked in: the programs need no DLL that
# Windows does not bring.
# No link time in the PE header, so that the same sources link to the same
# bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${PREKIDNIK_PE_VERSION_FLAGS}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " ${PREKIDNIK_PE_VERSION_FLAGS}")
