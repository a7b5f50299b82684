# GoogleTest for the test programs.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  return()
endif()

# Cross builds for Windows: GoogleTest is built from Debian's sources with the
# cross compiler, and the test programs run under Wine where Wine can run
# them (wine64: the 64-bit build only).
set(PREKIDNIK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
if(NOT TARGET GTest::gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PREKIDNIK_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Their code, their warnings: reported, never fatal.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
endif()

set(PREKIDNIK_WINE_RUNNABLE OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND PREKIDNIK_WINE64)
  set(PREKIDNIK_WINE_RUNNABLE ON)
  # Every Windows test program runs through this script: wine64 in a prefix of
  # the build tree's own, booted on first use.
  set(PREKIDNIK_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/tests/windows/wine-run.sh;${PREKIDNIK_WINE64};${PREKIDNIK_WINEPREFIX})
  # The prefix is made with the build: its first boot takes longer than the
  # test runner gives a program to list its tests.
  add_custom_command(OUTPUT ${PREKIDNIK_WINEPREFIX}/system.reg
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit 0
    COMMENT "Booting the Wine prefix for the tests")
  add_custom_target(wine_prefix ALL DEPENDS ${PREKIDNIK_WINEPREFIX}/system.reg)
  include(GoogleTest)
else()
  # Nothing here runs a 32-bit Windows program: the test programs are built,
  # and only the tests that inspect the files run.
  message(STATUS "Windows test programs are built but not run (no Wine for this target)")
  function(gtest_discover_tests)
    # Registers nothing: the programs are still built, with every check
    # compiled for this target.
  endfunction()
endif()
