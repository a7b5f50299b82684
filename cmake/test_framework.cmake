# A test that cannot run here (a tool, Wine or a kind of code missing) is
# reported as skipped with the reason, never as passed; with no reason it is
# added as given.
set(PREKIDNIK_SKIP_CODE 77)
function(prekidnik_test_or_skip name reason)
  if(reason)
    add_test(NAME ${name}
             COMMAND sh -c "echo 'Skipped: '\"$1\"; exit ${PREKIDNIK_SKIP_CODE}" sh "${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${PREKIDNIK_SKIP_CODE})
  else()
    add_test(NAME ${name} ${ARGN})
  endif()
endfunction()

# GoogleTest for the test programs.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  return()
endif()

# Cross builds for Windows: GoogleTest is built from Debian's sources with the
# cross compiler, and the test programs run under this target's Wine (wine
# for PE32 in a 32-bit prefix, wine64 for PE32+) where this machine can run
# it.
set(PREKIDNIK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
if(NOT TARGET GTest::gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PREKIDNIK_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Their code, their warnings: reported, never fatal.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
endif()

math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
set(PREKIDNIK_WINE_RUNNABLE OFF)
set(PREKIDNIK_WINE_SKIP_REASON "")
if(NOT PREKIDNIK_WINE)
  if(_bits EQUAL 32)
    set(PREKIDNIK_WINE_SKIP_REASON "no 32-bit Wine (/usr/lib/wine/wine, Debian's wine32:i386)")
  else()
    set(PREKIDNIK_WINE_SKIP_REASON "no wine64 (/usr/lib/wine/wine64, Debian's wine64)")
  endif()
else()
  # Every Windows test program runs through this script, in a prefix of the
  # build tree's own, booted on first use.
  set(PREKIDNIK_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  set(_emulator ${PROJECT_SOURCE_DIR}/tests/windows/wine-run.sh ${PREKIDNIK_WINE}
                ${PREKIDNIK_WINEPREFIX})
  # Whether this machine runs the target's code at all (a kernel without
  # 32-bit support, a Wine that cannot start) is asked once, here, of a tiny
  # program; the tests themselves are never second-guessed.
  set(_check_dir ${PROJECT_BINARY_DIR}/wine_check)
  try_compile(_check_built ${_check_dir}
              SOURCES ${PROJECT_SOURCE_DIR}/tests/windows/wine_check.c
              COPY_FILE ${_check_dir}/wine_check.exe
              OUTPUT_VARIABLE _check_build_log)
  if(NOT _check_built)
    set(PREKIDNIK_WINE_SKIP_REASON "the check program for Wine did not build")
  else()
    execute_process(COMMAND ${_emulator} ${_check_dir}/wine_check.exe
                    RESULT_VARIABLE _check_result OUTPUT_VARIABLE _check_output
                    ERROR_VARIABLE _check_error TIMEOUT 180)
    if(_check_result EQUAL 0 AND _check_output MATCHES "${_bits}-bit Windows code runs here")
      set(PREKIDNIK_WINE_RUNNABLE ON)
    else()
      string(REGEX REPLACE "\n.*" "" _check_error "${_check_error}")
      if(_check_error)
        set(_check_error ": ${_check_error}")
      endif()
      set(PREKIDNIK_WINE_SKIP_REASON
          "${PREKIDNIK_WINE} cannot run ${_bits}-bit Windows programs on this machine (exit ${_check_result}${_check_error})")
    endif()
  endif()
endif()

if(PREKIDNIK_WINE_RUNNABLE)
  message(STATUS "Windows test programs run under ${PREKIDNIK_WINE}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_emulator})
  # The prefix is made with the build: its first boot takes longer than the
  # test runner gives a program to list its tests.
  add_custom_command(OUTPUT ${PREKIDNIK_WINEPREFIX}/system.reg
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit 0
    COMMENT "Booting the Wine prefix for the tests")
  add_custom_target(wine_prefix ALL DEPENDS ${PREKIDNIK_WINEPREFIX}/system.reg)
  include(GoogleTest)
else()
  message(STATUS "Windows test programs are built, their tests skipped: ${PREKIDNIK_WINE_SKIP_REASON}")
endif()

# A test that runs a Windows program: skipped where Wine cannot run it.
function(prekidnik_wine_test name)
  if(PREKIDNIK_WINE_RUNNABLE)
    prekidnik_test_or_skip(${name} "" ${ARGN})
  else()
    prekidnik_test_or_skip(${name} "${PREKIDNIK_WINE_SKIP_REASON}" ${ARGN})
  endif()
endfunction()

if(NOT PREKIDNIK_WINE_RUNNABLE)
  # The programs are still built, with every check compiled for this target;
  # each stands in the test list as one skipped test.
  function(gtest_discover_tests target)
    prekidnik_wine_test(${target})
  endfunction()
endif()
