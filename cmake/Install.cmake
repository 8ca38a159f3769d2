# Installation and the Debian package: the two executables, the desktop entry with its MIME
# types and icons, the man pages, the examples and the user guide with its copyright file and
# changelog.

include(GNUInstallDirs)
# Debian's folder names are lower case: share/doc/cellwright, not the project's name.
set(CELLWRIGHT_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/cellwright")
# Folders the installation creates are 0755 whatever the umask, as a package's must be.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS cellwright-run RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(CODE "
  set(SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(WORK_DIR \"${PROJECT_BINARY_DIR}/man\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(DOCDIR \"${CELLWRIGHT_DOCDIR}\")
  set(MANDIR \"${CMAKE_INSTALL_MANDIR}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/ManPages.cmake\")
")

install(DIRECTORY examples/ DESTINATION ${CELLWRIGHT_DOCDIR}/examples)
# The guide with the picture it shows, at the same relative path, so that its links resolve.
install(FILES README.md DESTINATION ${CELLWRIGHT_DOCDIR})
install(FILES docs/screenshot.png DESTINATION ${CELLWRIGHT_DOCDIR}/docs)
# Debian's copyright file (machine-readable format) and changelog, compressed as Debian wants it.
install(FILES data/debian/copyright DESTINATION ${CELLWRIGHT_DOCDIR})
install(CODE "
  execute_process(COMMAND gzip -9nc \"${PROJECT_SOURCE_DIR}/data/debian/changelog\"
    OUTPUT_FILE \"${PROJECT_BINARY_DIR}/changelog.gz\" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"gzip failed on data/debian/changelog\")
  endif()
")
install(FILES "${PROJECT_BINARY_DIR}/changelog.gz" DESTINATION ${CELLWRIGHT_DOCDIR})

if(CELLWRIGHT_GUI)
  install(TARGETS cellwright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/cellwright.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES data/cellwright.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages)

  # The application icon: the one SVG, and PNGs rendered from it for the fixed sizes.
  set(icon_source "${PROJECT_SOURCE_DIR}/src/resources/images/cellwright.svg")
  install(FILES ${icon_source} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(icon_files "")
    foreach(size 16 22 24 32 48 64 128 256)
      set(png "${PROJECT_BINARY_DIR}/icons/${size}x${size}/cellwright.png")
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/icons/${size}x${size}"
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon_source}
        DEPENDS ${icon_source}
        COMMENT "Rendering the ${size}x${size} application icon" VERBATIM)
      list(APPEND icon_files ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(cellwright_icons ALL DEPENDS ${icon_files})
  else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable application icon is installed")
  endif()
endif()

# ---- The Debian package: cpack -G DEB in the build folder ----
set(CPACK_PACKAGE_NAME cellwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Cellwright")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "development environment for Brainfuck and pbrain")
set(CPACK_PACKAGE_DESCRIPTION [=[
Cellwright edits, runs and debugs Brainfuck programs and programs in its
procedural extension pbrain: several sources in tabs, a fast interpreter,
single steps, run to cursor, watch mode and a memory window that follows
the data pointer. The command-line runner cellwright-run runs programs on
the same engine.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CELLWRIGHT_PACKAGE_MAINTAINER "Cellwright developers <maintainers@users.noreply.c-seed-5cd8f929.example>"
  CACHE STRING "The Debian package's Maintainer field: a name and an address")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CELLWRIGHT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The executables are stripped as dh_strip strips them, also of the compiler's notes (.comment)
# that a plain strip keeps.
set(CPACK_CELLWRIGHT_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/PackageStrip.cmake")
# The linked libraries (C++ runtime, Qt 6 Core, Gui and Widgets, QScintilla) come from
# dpkg-shlibdeps; what is loaded or used at run time without being linked is named here: Qt's
# SVG plugins draw every icon, and "Courier New" resolves to Liberation Mono.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-liberation")
# Removing the package also removes a settings file that earlier builds left in /usr/bin.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/data/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
