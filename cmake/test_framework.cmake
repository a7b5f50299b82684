# A test that cannot run here is reported as skipped with the reason, never as passed.
function(prekidnik_test_or_skip name reason)
  if(reason)
    add_test(NAME ${name} COMMAND sh -c "echo \"Skipped: $1\"; exit 77" sh "${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  else()
    add_test(NAME ${name} ${ARGN})
  endif()
endfunction()

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  return()
endif()
set(PREKIDNIK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PREKIDNIK_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_property(TARGET gtest gtest_main APPEND PROPERTY COMPILE_OPTIONS -Wno-error)

# The test programs run under this target's Wine if a tiny program, asked once, runs there.
math(EXPR _bits "${CMAKE_SIZEOF_VOID_P} * 8")
set(PREKIDNIK_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(_emulator ${PROJECT_SOURCE_DIR}/tests/windows/wine-run.sh ${PREKIDNIK_WINE} ${PREKIDNIK_WINEPREFIX})
set(PREKIDNIK_WINE_SKIP_REASON "no ${_bits}-bit Wine (/usr/lib/wine/wine or wine64, scripts/install-deps.sh)")
if(PREKIDNIK_WINE)
  try_compile(_built ${PROJECT_BINARY_DIR}/wine_check SOURCES ${PROJECT_SOURCE_DIR}/tests/windows/wine_check.c
              COPY_FILE ${PROJECT_BINARY_DIR}/wine_check.exe)
  execute_process(COMMAND ${_emulator} ${PROJECT_BINARY_DIR}/wine_check.exe TIMEOUT 180
                  RESULT_VARIABLE _result OUTPUT_VARIABLE _output ERROR_VARIABLE _error)
  string(REGEX REPLACE "^([^\n]+).*" ": \\1" _error "${_error}")
  set(PREKIDNIK_WINE_SKIP_REASON
      "${PREKIDNIK_WINE} cannot run ${_bits}-bit Windows programs on this machine (exit ${_result}${_error})")
  if(_result EQUAL 0 AND _output MATCHES "${_bits}-bit Windows code runs here")
    set(PREKIDNIK_WINE_SKIP_REASON "")
  endif()
endif()
if(PREKIDNIK_WINE_SKIP_REASON)
  message(STATUS "Windows test programs are built, their tests skipped: ${PREKIDNIK_WINE_SKIP_REASON}")
  # Each program, every check compiled for this target, stands in the test list as one skipped test.
  function(gtest_discover_tests target)
    prekidnik_test_or_skip(${target} "${PREKIDNIK_WINE_SKIP_REASON}")
  endfunction()
  return()
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${_emulator})
# The prefix boots with the build: that takes longer than ctest gives a program to list its tests.
add_custom_command(OUTPUT ${PREKIDNIK_WINEPREFIX}/system.reg COMMAND ${_emulator} cmd /c exit 0
                   COMMENT "Booting the Wine prefix for the tests")
add_custom_target(wine_prefix ALL DEPENDS ${PREKIDNIK_WINEPREFIX}/system.reg)
include(GoogleTest)
