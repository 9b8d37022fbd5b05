# Installed layout: the programs stand in the run directory <prefix>/${JOBPUSH_INSTALL_RUNDIR} beside
# their message catalogues (locale/), the DBCS conversion library and the translate map file;
# <prefix>/bin holds relative symbolic links to them, through which each program finds its run
# directory. Manual pages are installed compressed, with the project's version in their title line.
set(JOBPUSH_INSTALL_BINDIR bin)
set(JOBPUSH_INSTALL_MANDIR share/man/man1)
set(JOBPUSH_INSTALL_DOCDIR share/doc/jobpush)
# Every installed program, in the order of jobpush_install_program calls (the install tests run each).
set_property(GLOBAL PROPERTY JOBPUSH_PROGRAMS "")

# jobpush_install_program(target manual_page): installs the program into the run directory, its link
# into bin/ and its manual page (a file beside the calling CMakeLists.txt).
function(jobpush_install_program target page)
  set_property(GLOBAL APPEND PROPERTY JOBPUSH_PROGRAMS ${target})
  install(TARGETS ${target} RUNTIME DESTINATION ${JOBPUSH_INSTALL_RUNDIR})
  file(RELATIVE_PATH rundir_from_bin /p/${JOBPUSH_INSTALL_BINDIR} /p/${JOBPUSH_INSTALL_RUNDIR})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${JOBPUSH_INSTALL_BINDIR}/${target}\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${JOBPUSH_INSTALL_BINDIR}\")
    file(CREATE_LINK \"${rundir_from_bin}/${target}\" \"\${link}\" SYMBOLIC)
  ")
  jobpush_install_man_page(${page})
endfunction()

# jobpush_install_man_page(page): "@PROJECT_VERSION@" in the page becomes the project's version, and
# the page is compressed as Debian wants it (gzip -9n, no time stamp).
function(jobpush_install_man_page page)
  get_filename_component(name ${page} NAME)
  set(out ${PROJECT_BINARY_DIR}/man/${name})
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_CURRENT_SOURCE_DIR}/${page} -DOUT=${out}
            -DPROJECT_VERSION=${PROJECT_VERSION} -P ${PROJECT_SOURCE_DIR}/cmake/stamp_gzip.cmake
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${page} ${PROJECT_SOURCE_DIR}/cmake/stamp_gzip.cmake
    COMMENT "Manual page ${name}" VERBATIM)
  add_custom_target(jobpush_man_${name} ALL DEPENDS ${out}.gz)
  install(FILES ${out}.gz DESTINATION ${JOBPUSH_INSTALL_MANDIR})
endfunction()
