# The Windows packages: prekidnik-<version>-win32.zip or -win64.zip (target
# package_zip) and, from the 32-bit build, the installer
# prekidnik-<version>-setup.exe (target package_setup), made with every build
# and written to the build folder.
set(src ${CMAKE_CURRENT_LIST_DIR}/windows)
set(out ${PROJECT_BINARY_DIR}/packaging)
# The read-me names the systems the program starts on.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(win_arch win64)
  set(PREKIDNIK_README_SYSTEMS "64-bitnom Windows XP i novijim (x64)")
else()
  set(win_arch win32)
  set(PREKIDNIK_README_SYSTEMS "Windows XP SP3 i novijim, 32- i 64-bitnim")
endif()

configure_file(${src}/procitaj-me.txt ${out}/procitaj-me.txt @ONLY)
# The licence beside the program, with the line ends Notepad reads.
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${out}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
set(PREKIDNIK_ZIP ${PROJECT_BINARY_DIR}/prekidnik-${PROJECT_VERSION}-${win_arch}.zip)
add_custom_command(OUTPUT ${PREKIDNIK_ZIP}
  COMMAND ${PREKIDNIK_PYTHON} ${src}/make_zip.py ${PREKIDNIK_ZIP} ${PREKIDNIK_SOURCE_DATE_EPOCH}
          prekidnik.exe=$<TARGET_FILE:prekidnik> procitaj-me.txt=${out}/procitaj-me.txt
          LICENSE.txt=${out}/LICENSE.txt
  DEPENDS prekidnik ${src}/make_zip.py ${out}/procitaj-me.txt ${out}/LICENSE.txt VERBATIM)
add_custom_target(package_zip ALL DEPENDS ${PREKIDNIK_ZIP})

if(win_arch STREQUAL win32)
  find_program(PREKIDNIK_MAKENSIS makensis)
  if(NOT PREKIDNIK_MAKENSIS)
    message(STATUS "No makensis (Debian's nsis): the installer is not built")
    return()
  endif()
  set(PREKIDNIK_SETUP ${PROJECT_BINARY_DIR}/prekidnik-${PROJECT_VERSION}-setup.exe)
  add_custom_command(OUTPUT ${PREKIDNIK_SETUP}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${PREKIDNIK_SOURCE_DATE_EPOCH}
            ${PREKIDNIK_MAKENSIS} -V2 -WX -NOCD -INPUTCHARSET UTF8
            -DVERSION=${PROJECT_VERSION} -DVERSION_TEXT=${PREKIDNIK_VERSION_TEXT}
            -DVERSION_QUAD=${PREKIDNIK_VERSION_DOTTED_QUAD}
            -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DVERSION_MINOR=${PROJECT_VERSION_MINOR}
            -DEXE=$<TARGET_FILE:prekidnik> -DLICENCE=${out}/LICENSE.txt
            -DICON=${PROJECT_SOURCE_DIR}/platform/win32/prekidnik.ico
            -DOUTFILE=${PREKIDNIK_SETUP}
            ${src}/prekidnik.nsi
    DEPENDS prekidnik ${src}/prekidnik.nsi ${PROJECT_SOURCE_DIR}/platform/win32/prekidnik.ico
            ${out}/LICENSE.txt
    VERBATIM)
  add_custom_target(package_setup ALL DEPENDS ${PREKIDNIK_SETUP})
endif()
