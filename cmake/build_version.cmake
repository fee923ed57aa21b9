# The version and the exact build, for trakmon --version and the Windows
# version resources: `git describe --always --dirty` of the checkout at
# configure time, or the project version where the sources are no checkout
# of their own (a source archive, or one unpacked inside another repository).
set(TRAKMON_BUILD ${PROJECT_VERSION})
set(build_epoch "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE checkout_top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0)
    get_filename_component(checkout_top "${checkout_top}" REALPATH)
    get_filename_component(source_top "${CMAKE_SOURCE_DIR}" REALPATH)
  endif()
  if(status EQUAL 0 AND checkout_top STREQUAL source_top)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND describe)
      set(TRAKMON_BUILD ${describe})
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE build_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Configure again when a commit or a checkout moves HEAD, so that a build
    # never names a commit it was not made from.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(moved HEAD logs/HEAD)
      if(EXISTS ${git_dir}/${moved})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/${moved})
      endif()
    endforeach()
  endif()
endif()
# The build's date, for the manual page and the package's change log: the
# commit's in a checkout (so that the same commit makes the same files),
# otherwise SOURCE_DATE_EPOCH's or today's.
if(build_epoch)
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${build_epoch})
endif()
string(TIMESTAMP TRAKMON_BUILD_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TRAKMON_BUILD_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(build_epoch)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
endif()
message(STATUS "trakmon ${PROJECT_VERSION}, build ${TRAKMON_BUILD} of ${TRAKMON_BUILD_DATE}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/trakmon_version.h.in
               ${CMAKE_BINARY_DIR}/generated/trakmon_version.h @ONLY)
