# SPDX-License-Identifier: MIT
# Runs cmake --install into PREFIX and fails unless every installed file is
# there: the three commands and their pages, both libraries, the headers, the
# CMake package and the pkg-config file. LIBDIR, INCLUDEDIR and VERSION come
# from the build.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
include(GNUInstallDirs)
set(package ${LIBDIR}/cmake/huffcodec)
foreach(path IN ITEMS ${CMAKE_INSTALL_BINDIR}/uncompress ${CMAKE_INSTALL_BINDIR}/compress
                      ${CMAKE_INSTALL_BINDIR}/huffcodec
                      ${CMAKE_INSTALL_MANDIR}/man1/uncompress.1
                      ${CMAKE_INSTALL_MANDIR}/man1/compress.1
                      ${CMAKE_INSTALL_MANDIR}/man1/huffcodec.1
                      ${LIBDIR}/libhuffcodec.a ${LIBDIR}/libhuffcodec.so
                      ${INCLUDEDIR}/huffcodec/huffcodec.hpp ${INCLUDEDIR}/huffcodec/huffcodec.h
                      ${INCLUDEDIR}/huffcodec/version.hpp
                      ${package}/huffcodecConfig.cmake ${package}/huffcodecConfigVersion.cmake
                      ${package}/huffcodecTargets.cmake ${LIBDIR}/pkgconfig/huffcodec.pc)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "missing after install: ${path}")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/${CMAKE_INSTALL_BINDIR}/uncompress"
                RESULT_VARIABLE status ERROR_VARIABLE usage)
if(NOT status EQUAL 255 OR NOT usage MATCHES "Usage: ")
  message(FATAL_ERROR "installed uncompress does not run: ${status} ${usage}")
endif()
execute_process(COMMAND "${PREFIX}/${CMAKE_INSTALL_BINDIR}/huffcodec" --version
                RESULT_VARIABLE status OUTPUT_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "huffcodec ${VERSION}\n")
  message(FATAL_ERROR "installed huffcodec does not run: ${status} ${said}")
endif()

file(READ "${PREFIX}/${INCLUDEDIR}/huffcodec/version.hpp" version_header)
if(NOT version_header MATCHES "HUFFCODEC_VERSION_STRING \"${VERSION}\"")
  message(FATAL_ERROR "installed version.hpp does not say ${VERSION}")
endif()
# Our warning flags and sanitizers stay in this build: the exported targets
# carry no compile or link option and no reference to huffcodec_build_options.
file(READ "${PREFIX}/${package}/huffcodecTargets.cmake" targets)
foreach(flag IN ITEMS huffcodec_build_options INTERFACE_COMPILE_OPTIONS INTERFACE_LINK_OPTIONS -fsanitize -W)
  string(FIND "${targets}" "${flag}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the exported targets carry ${flag}")
  endif()
endforeach()
