# Installation and the Debian package: the two executables, the desktop entry with its MIME
# types and icons, the man pages, the examples and the user guide.

include(GNUInstallDirs)
# Debian's folder names are lower case: share/doc/cellwright, not the project's name.
set(CELLWRIGHT_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/cellwright")

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
install(FILES README.md DESTINATION ${CELLWRIGHT_DOCDIR})

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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Cellwright developers" CACHE STRING "The Debian package's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# The linked libraries (C++ runtime, Qt 6 Core, Gui and Widgets, QScintilla) come from
# dpkg-shlibdeps; what is loaded or used at run time without being linked is named here: Qt's
# SVG plugins draw every icon, and "Courier New" resolves to Liberation Mono.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-liberation")
# Removing the package also removes a settings file that earlier builds left in /usr/bin.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/data/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
