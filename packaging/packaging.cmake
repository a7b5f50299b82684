# Packages for users: the Debian package (cpack) on Linux, a zip per Windows
# architecture and, for 32-bit Windows, the installer. The sanitizer build
# makes none.
if(PREKIDNIK_SANITIZE)
  return()
endif()

# The day of the last commit, for dated texts (man page, release).
# string(TIMESTAMP) reads SOURCE_DATE_EPOCH from the environment.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${PREKIDNIK_SOURCE_DATE_EPOCH})
string(TIMESTAMP PREKIDNIK_RELEASE_DATE "%Y-%m-%d" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

# Debian's Python, the same on every Debian 12 machine.
find_program(PREKIDNIK_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(PREKIDNIK_MAKE_ICON ${CMAKE_CURRENT_LIST_DIR}/make_icon.py)
# Every package carries LICENSE; its text is read when the build is configured.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/linux.cmake)
endif()
