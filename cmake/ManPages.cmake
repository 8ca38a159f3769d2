# Runs at install time (install(CODE) includes it): writes the man pages with the paths of the
# prefix they are installed under, compressed as Debian wants them. Set before: SOURCE_DIR,
# WORK_DIR, PROJECT_VERSION, BINDIR, DOCDIR and MANDIR (relative to the prefix).
set(CELLWRIGHT_FULL_BINDIR "${CMAKE_INSTALL_PREFIX}/${BINDIR}")
set(CELLWRIGHT_FULL_DOCDIR "${CMAKE_INSTALL_PREFIX}/${DOCDIR}")
foreach(page cellwright cellwright-run)
  configure_file("${SOURCE_DIR}/data/${page}.1.in" "${WORK_DIR}/${page}.1" @ONLY)
  execute_process(COMMAND gzip -9nf "${WORK_DIR}/${page}.1" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip failed on ${WORK_DIR}/${page}.1")
  endif()
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${MANDIR}/man1" TYPE FILE FILES "${WORK_DIR}/${page}.1.gz")
endforeach()
