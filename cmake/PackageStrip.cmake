# Runs in CPack after the staged installation (CPACK_PRE_BUILD_SCRIPTS): strips the executables
# in the package's bin folder of their symbols and of the .comment and .note sections, as
# dh_strip does for a Debian package.
file(GLOB executables "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT executables)
  message(FATAL_ERROR "no executables to strip under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(exe IN LISTS executables)
  execute_process(COMMAND "${CPACK_CELLWRIGHT_STRIP}" --remove-section=.comment --remove-section=.note "${exe}"
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip failed on ${exe}")
  endif()
endforeach()
