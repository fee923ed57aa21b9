# Run by CPack on the .deb's staging folder before it is packed: what Debian
# asks of a package beyond the installed files. Its documentation folder holds
# the copyright and a change log compressed with gzip -9n, and manual pages are
# compressed the same way (-n: no name or time stamp, so the same build makes
# the same package).
cmake_minimum_required(VERSION 3.19)
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/${CPACK_TRAKMON_DOC_DIR})
file(COPY ${CPACK_TRAKMON_COPYRIGHT} DESTINATION ${doc}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY ${CPACK_TRAKMON_CHANGELOG} DESTINATION ${doc}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB pages ${root}/${CPACK_TRAKMON_MAN_DIR}/man*/*.[1-9])
foreach(file ${doc}/changelog ${pages})
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endforeach()
