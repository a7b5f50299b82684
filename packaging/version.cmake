# The program's version comes from project() alone. Everything else reads it
# from here: the Windows version record, the packages' names and fields.

# The form a user sees, "1.00": the major version, then the minor one in two
# digits; a patch release adds its number, so that no two releases read alike.
string(LENGTH "${PROJECT_VERSION_MINOR}" minor_digits)
if(minor_digits LESS 2)
  set(PREKIDNIK_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
  set(PREKIDNIK_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()
if(PROJECT_VERSION_PATCH GREATER 0)
  string(APPEND PREKIDNIK_VERSION_TEXT ".${PROJECT_VERSION_PATCH}")
endif()

# Windows' four numbers: major, minor, patch and a build number of 0.
set(PREKIDNIK_VERSION_QUAD "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(PREKIDNIK_VERSION_DOTTED_QUAD
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

set(PREKIDNIK_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/prekidnik_version.h.in
               ${PREKIDNIK_GENERATED_DIR}/prekidnik_version.h @ONLY)
