# The Debian package: `cpack -G DEB` in the build folder, or the target
# package_deb, which writes prekidnik_<version>_<arch>.deb there.
include(GNUInstallDirs)

set(out ${PROJECT_BINARY_DIR}/packaging)
set(src ${CMAKE_CURRENT_LIST_DIR}/linux)
set(app_id org.example.prekidnik)

# The icon, drawn by the same script as the Windows one.
set(icon_files "")
foreach(size 16 32 48)
  add_custom_command(OUTPUT ${out}/icons/${size}/prekidnik.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/icons/${size}
    COMMAND ${PREKIDNIK_PYTHON} ${PREKIDNIK_MAKE_ICON} --png ${size} ${out}/icons/${size}/prekidnik.png
    DEPENDS ${PREKIDNIK_MAKE_ICON} VERBATIM)
  list(APPEND icon_files ${out}/icons/${size}/prekidnik.png)
  install(FILES ${out}/icons/${size}/prekidnik.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(OUTPUT ${out}/icons/prekidnik.svg
  COMMAND ${PREKIDNIK_PYTHON} ${PREKIDNIK_MAKE_ICON} --svg ${out}/icons/prekidnik.svg
  DEPENDS ${PREKIDNIK_MAKE_ICON} VERBATIM)
list(APPEND icon_files ${out}/icons/prekidnik.svg)
install(FILES ${out}/icons/prekidnik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man page and change log, compressed without a time stamp or a file name.
configure_file(${src}/prekidnik.1.in ${out}/prekidnik.1 @ONLY)
# The copyright file in Debian's machine-readable format, its licence text
# taken from LICENSE: the permission and the disclaimer, every line indented
# by a space and an empty one written as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "Permission is hereby granted" start)
string(SUBSTRING "${licence}" ${start} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " PREKIDNIK_LICENCE_PARAGRAPH " ${licence}")
configure_file(${src}/copyright.in ${out}/copyright @ONLY)
configure_file(${src}/${app_id}.metainfo.xml.in ${out}/${app_id}.metainfo.xml @ONLY)
foreach(pair "prekidnik.1|${out}/prekidnik.1" "changelog|${src}/changelog")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 input)
  add_custom_command(OUTPUT ${out}/${name}.gz
    COMMAND sh -c "gzip -9n -c \"$0\" >\"$1\"" ${input} ${out}/${name}.gz
    DEPENDS ${input} VERBATIM)
  list(APPEND doc_files ${out}/${name}.gz)
endforeach()
add_custom_target(package_files ALL DEPENDS ${icon_files} ${doc_files})

install(TARGETS prekidnik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${src}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${out}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${out}/prekidnik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${out}/changelog.gz ${out}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prekidnik)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME prekidnik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Prekidnik developers")
set(CPACK_PACKAGE_CONTACT "Prekidnik developers <dev@prekidnik.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hangs up dial-up connections at once or at a set time")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Prekidnik (Serbian for the disconnector) ends the computer's dial-up Internet\n"
  "connections, at once or at a time of day typed into its small oval window,\n"
  "which shows a large clock. Its texts are in Serbian.\n"
  "\n"
  "It hangs up NetworkManager's mobile broadband, PPPoE, ADSL, Bluetooth\n"
  "dial-up and VPN connections, or else the running pppd links.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://prekidnik.example.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland plugin: without it, on a Wayland desktop, Qt falls back to X11 through Xwayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
# Read by cpack when it runs: the archive members' dates come from the last
# commit, not from the build.
set(CPACK_PROJECT_CONFIG_FILE ${out}/cpack_project_config.cmake)
file(WRITE ${out}/cpack_project_config.cmake.tmp
     "set(ENV{SOURCE_DATE_EPOCH} ${PREKIDNIK_SOURCE_DATE_EPOCH})\n")
configure_file(${out}/cpack_project_config.cmake.tmp ${out}/cpack_project_config.cmake COPYONLY)
include(CPack)

add_custom_target(package_deb
  COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
  DEPENDS prekidnik package_files
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
