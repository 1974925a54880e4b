# What `cmake --install` puts under its prefix: the tools in bin/, their man
# pages in share/man/man1/, and the library qirn_core with its headers and a
# CMake package, so that find_package(qirn) gives the target qirn::core.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QIRN_MAN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/QirnManPage.cmake)

# Installs the tool `target` and the man page written at build time from its
# --help and --version output, under the one-line `summary`. SYNOPSIS stands
# for a help text without a "Usage:" line; EXTRA is a troff file to add after
# the description.
function(qirn_install_tool target summary)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "SYNOPSIS;EXTRA" "")
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:${target}> -DNAME=${target} -DSUMMARY=${summary}
            "-DSOURCE=qirn ${PROJECT_VERSION}" -DSYNOPSIS=${arg_SYNOPSIS} -DEXTRA=${arg_EXTRA}
            -DOUTPUT=${page} -P ${QIRN_MAN_SCRIPT}
    DEPENDS ${target} ${QIRN_MAN_SCRIPT} ${arg_EXTRA}
    COMMENT "Writing the man page ${target}.1"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(TARGETS ${target})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# Installs qirn_core as qirn::core, its headers under include/qirn/ in the
# layout of src/, and the package files that find_package(qirn) reads.
function(qirn_install_core)
  set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qirn)
  install(TARGETS qirn_core EXPORT qirnTargets)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qirn
          FILES_MATCHING PATTERN "*.h")
  install(EXPORT qirnTargets NAMESPACE qirn:: DESTINATION ${package_dir})
  configure_package_config_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/qirnConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/qirnConfig.cmake INSTALL_DESTINATION ${package_dir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/qirnConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/qirnConfig.cmake ${PROJECT_BINARY_DIR}/qirnConfigVersion.cmake
          DESTINATION ${package_dir})
endfunction()
