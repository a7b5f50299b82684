# Flags of every build. Reproducible: the same commit gives the same
# executables and packages in any build folder.

# The packages' time stamps: those of the last commit, unless the caller gives
# its own SOURCE_DATE_EPOCH.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(PREKIDNIK_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE PREKIDNIK_SOURCE_DATE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_result ERROR_QUIET)
  if(NOT git_result EQUAL 0 OR PREKIDNIK_SOURCE_DATE_EPOCH STREQUAL "")
    # Outside a checkout (sources from an archive): the date of this file.
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt PREKIDNIK_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()

# No build path in the objects: not in debug information, __FILE__ or
# assertion texts. The build ID of a Linux binary covers its debug sections,
# so a path there would change the stripped binary too.
# The build folder's map comes last, so that it wins where the build folder
# lies within the sources.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
# Qt's moc would include each header by its path relative to the build
# folder, which differs with the folder's depth; this way it names the header
# from an include directory, and the maps above apply.
set(CMAKE_AUTOMOC_PATH_PREFIX ON)

# Hardening, as Debian builds its packages: checked string and memory calls
# where the build optimises, and relocations read-only from the start.
if(NOT WIN32 AND NOT PREKIDNIK_SANITIZE AND NOT PREKIDNIK_FUZZ)
  add_compile_options($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro,-z,now)
endif()
