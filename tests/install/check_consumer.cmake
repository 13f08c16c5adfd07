# SPDX-License-Identifier: MIT
# Installs the build into PREFIX and builds examples/roundtrip.cpp and the C99
# examples/roundtrip.c against it as another project would: with find_package
# (linking huffcodec::huffcodec, then huffcodec::shared) and with pkg-config
# (the shared library, and the static one alone through --static). Each
# program must run and report a round trip. With
# DEB_DIR, the Debian packages there, unpacked into PREFIX as a scratch root,
# take the place of the install, and their commands (huffcodec too) run from
# it on SAMPLE.
# Arguments: BUILD_DIR, PREFIX,
# WORK (scratch directory), EXAMPLE_DIR, LIBDIR, VERSION, the build's
# GENERATOR, MAKE_PROGRAM, CXX, CC (optional) and BUILD_TYPE, and EXTRA_FLAGS: compile and
# link flags the consumer needs on top of what the package gives it (the
# sanitizers, when the library is built with them), and PLUGIN_CHECK: with
# it (the path of tests/hdf5/check_plugin.py, run by PYTHON), the installed
# HDF5 filter plugin is tried with h5py and h5dump.
file(REMOVE_RECURSE "${PREFIX}" "${WORK}")
# The build's C compiler (CC), or else the C compiler of the C++ one's family,
# so that a sanitizer runtime matches. A plain c++ has no such name to follow.
if(NOT CC)
  string(REGEX REPLACE "clang\\+\\+([-0-9.]*)$" "clang\\1" CC "${CXX}")
  string(REGEX REPLACE "g\\+\\+([-0-9.]*)$" "gcc\\1" CC "${CC}")
endif()
# A sanitized library needs the sanitizers' C++ runtime, which a C driver
# leaves out: the C programs are then linked by the C++ compiler.
if(EXTRA_FLAGS)
  set(sanitized ON)
  set(c_linker "${CXX}")
else()
  set(sanitized OFF)
  set(c_linker "${CC}")
endif()
if(DEB_DIR)
  # The Debian packages, unpacked as dpkg would into a scratch root whose
  # /usr the consumers then use.
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${VERSION}")
  set(soversion ${CMAKE_MATCH_1})
  if(soversion EQUAL 0)
    set(soversion 0.${CMAKE_MATCH_2})
  endif()
  set(packages libhuffcodec${soversion} libhuffcodec-dev huffcodec-tools)
  if(PLUGIN_CHECK)
    list(APPEND packages hdf5-filter-huffcodec)
  endif()
  foreach(package IN LISTS packages)
    file(GLOB deb "${DEB_DIR}/${package}_${VERSION}_*.deb")
    if(NOT deb)
      message(FATAL_ERROR "no ${package} ${VERSION} in ${DEB_DIR}")
    endif()
    execute_process(COMMAND dpkg-deb -x "${deb}" "${PREFIX}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "dpkg-deb -x ${deb} failed")
    endif()
  endforeach()
  set(root "${PREFIX}")
  set(PREFIX "${root}/usr")
  # No file of gzip's or ncompress's, and none that an installed package owns,
  # also under /bin on a merged /usr.
  foreach(path IN ITEMS bin/compress bin/uncompress share/man/man1/compress.1.gz
                        share/man/man1/uncompress.1.gz)
    if(EXISTS "${PREFIX}/${path}" OR IS_SYMLINK "${PREFIX}/${path}")
      message(FATAL_ERROR "the packages ship /usr/${path}")
    endif()
  endforeach()
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  list(TRANSFORM files PREPEND /)
  set(unmerged ${files})
  list(FILTER unmerged INCLUDE REGEX "^/usr/s?bin/")
  list(TRANSFORM unmerged REPLACE "^/usr" "")
  execute_process(COMMAND dpkg-query -S ${files} ${unmerged} OUTPUT_VARIABLE owned ERROR_QUIET)
  if(owned)
    message(FATAL_ERROR "the packages ship files of other packages:\n${owned}")
  endif()
  # Each command under both of its names, from the scratch root.
  file(MAKE_DIRECTORY "${WORK}")
  foreach(pair IN ITEMS "bin/huffcodec-compress;lib/huffcodec/bin/uncompress"
                        "lib/huffcodec/bin/compress;bin/huffcodec-uncompress")
    list(GET pair 0 compress)
    list(GET pair 1 uncompress)
    execute_process(COMMAND "${PREFIX}/${compress}" "${SAMPLE}" "${WORK}/sample.huf"
                    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND "${PREFIX}/${uncompress}" "${WORK}/sample.huf" "${WORK}/sample"
                    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SAMPLE}" "${WORK}/sample"
                    COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "${compress} and ${uncompress}: round trip ok")
  endforeach()
  # huffcodec writes what compress wrote, and restores it.
  execute_process(COMMAND "${PREFIX}/bin/huffcodec" -c "${SAMPLE}"
                  OUTPUT_FILE "${WORK}/by-huffcodec.huf" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${PREFIX}/bin/huffcodec" -dc "${WORK}/by-huffcodec.huf"
                  OUTPUT_FILE "${WORK}/by-huffcodec" COMMAND_ERROR_IS_FATAL ANY)
  foreach(pair IN ITEMS "${WORK}/sample.huf;${WORK}/by-huffcodec.huf"
                        "${SAMPLE};${WORK}/by-huffcodec")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files ${pair}
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  message(STATUS "bin/huffcodec: round trip ok")
  foreach(page IN ITEMS huffcodec huffcodec-compress huffcodec-uncompress)
    if(NOT EXISTS "${PREFIX}/share/man/man1/${page}.1.gz")
      message(FATAL_ERROR "no manual page ${page}.1.gz")
    endif()
  endforeach()
else()
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                  RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
  endif()
endif()

if(PLUGIN_CHECK)
  if(DEB_DIR)
    set(package_dir "${PREFIX}/${LIBDIR}/hdf5/serial/plugins")
  else()
    set(package_dir "${PREFIX}/${LIBDIR}/hdf5/plugins")
  endif()
  execute_process(COMMAND "${PYTHON}" "${PLUGIN_CHECK}" "${package_dir}"
                          "${PREFIX}/include/huffcodec/hdf5.h"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the HDF5 filter plugin in ${package_dir} failed:\n${out}${err}")
  endif()
  message(STATUS "${out}")
endif()

function(run_roundtrip program)
  execute_process(COMMAND ${ARGN} "${program}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "^huffcodec ${VERSION}: .* round trip ok\n$")
    message(FATAL_ERROR "${program} failed (${status}):\n${out}${err}")
  endif()
  message(STATUS "${program}: ${out}")
endfunction()

# find_package, with the static and with the shared library.
foreach(shared IN ITEMS OFF ON)
  set(build "${WORK}/cmake-shared-${shared}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${EXAMPLE_DIR}" -B "${build}"
                          -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
                          "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_C_COMPILER=${CC}"
                          "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_C_FLAGS=${EXTRA_FLAGS}"
                          "-DCMAKE_PREFIX_PATH=${PREFIX}" "-DEXAMPLE_SHARED=${shared}"
                          "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
                          "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
                          "-DEXAMPLE_LINK_AS_CXX=${sanitized}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring the example failed:\n${out}")
  endif()
  # Found in PREFIX, not in some other installed copy.
  file(STRINGS "${build}/CMakeCache.txt" found REGEX "^huffcodec_DIR:")
  if(NOT found STREQUAL "huffcodec_DIR:PATH=${PREFIX}/${LIBDIR}/cmake/huffcodec")
    message(FATAL_ERROR "find_package took the wrong package: ${found}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${build}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "building the example failed:\n${out}")
  endif()
  run_roundtrip("${build}/huffcodec_roundtrip")
  run_roundtrip("${build}/huffcodec_stream")
  run_roundtrip("${build}/huffcodec_roundtrip_c")
endforeach()

# The version policy: find_package with a version takes this release only for
# a request in its own series (0.MINOR before 1.0, MAJOR after), and with a
# range whenever the range holds it, whatever the series.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${VERSION}")
math(EXPR next_major "${CMAKE_MATCH_1} + 1")
math(EXPR next_minor "${CMAKE_MATCH_2} + 1")
set(newer ${next_major}.0)
if(CMAKE_MATCH_1 EQUAL 0)
  set(newer 0.${next_minor})
endif()
set(requests "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}=1" "${VERSION}=1" "${newer}=0" "0.2=0"
  "0.1...${VERSION}=1" "0.1...<${VERSION}=0" "0.2...${newer}=1" "${newer}...${next_major}.5=0")
set(probe "${WORK}/find-version")
set(lists "cmake_minimum_required(VERSION 3.19)\nproject(probe C)\n")
foreach(request IN LISTS requests)
  string(REPLACE "=" ";" request "${request}")
  list(GET request 0 range)
  list(GET request 1 expected)
  string(APPEND lists "find_package(huffcodec ${range} CONFIG QUIET)\n"
    "if(NOT \"\${huffcodec_FOUND}\" EQUAL ${expected})\n"
    "  message(SEND_ERROR \"find_package(huffcodec ${range}): found=\${huffcodec_FOUND}, "
    "expected ${expected}\")\nendif()\nunset(huffcodec_FOUND)\n")
endforeach()
file(WRITE "${probe}/CMakeLists.txt" "${lists}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${probe}" -B "${probe}/build"
                        "-DCMAKE_PREFIX_PATH=${PREFIX}" "-DCMAKE_C_COMPILER=${CC}"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "find_package against ${VERSION}:\n${out}")
endif()
message(STATUS "find_package version requests: ${requests}")

# pkg-config, with the same compiler.
find_program(PKG_CONFIG pkg-config)
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config not found; install it (apt-get install pkg-config)")
endif()
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --modversion huffcodec
                RESULT_VARIABLE result OUTPUT_VARIABLE modversion ERROR_VARIABLE err
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT modversion STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config --modversion huffcodec: '${modversion}' ${err}")
endif()
execute_process(COMMAND "${PKG_CONFIG}" --cflags --libs huffcodec
                RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE err
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkg-config --cflags --libs huffcodec failed: ${err}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${CXX}" -std=c++17 ${extra} "${EXAMPLE_DIR}/roundtrip.cpp" ${flags}
                        -o "${WORK}/roundtrip-pkg-config"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "compiling the example with pkg-config flags failed:\n${out}")
endif()
run_roundtrip("${WORK}/roundtrip-pkg-config" "${CMAKE_COMMAND}" -E env
              "LD_LIBRARY_PATH=${PREFIX}/${LIBDIR}")
execute_process(COMMAND "${PKG_CONFIG}" --cflags huffcodec OUTPUT_VARIABLE cflags
                OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
execute_process(COMMAND "${CC}" -std=c99 -Wall -Wextra -pedantic -Werror ${extra} -c
                        "${EXAMPLE_DIR}/roundtrip.c" ${cflags} -o "${WORK}/roundtrip-c.o"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(result EQUAL 0)
  execute_process(COMMAND "${c_linker}" ${extra} "${WORK}/roundtrip-c.o" ${flags}
                          -o "${WORK}/roundtrip-c-pkg-config"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the C example with pkg-config flags failed:\n${out}")
endif()
run_roundtrip("${WORK}/roundtrip-c-pkg-config" "${CMAKE_COMMAND}" -E env
              "LD_LIBRARY_PATH=${PREFIX}/${LIBDIR}")

# Only the static library, as where the shared one is not installed: the
# flags of pkg-config --static alone must link the C example.
set(static_prefix "${WORK}/static-only")
file(COPY "${PREFIX}/" DESTINATION "${static_prefix}" FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp"
     PATTERN "libhuffcodec.a" PATTERN "*.pc")
set(ENV{PKG_CONFIG_PATH} "${static_prefix}/${LIBDIR}/pkgconfig")
execute_process(COMMAND "${PKG_CONFIG}" --static --cflags --libs huffcodec
                RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE err
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkg-config --static --cflags --libs huffcodec failed: ${err}")
endif()
message(STATUS "pkg-config --static --cflags --libs huffcodec: ${flags}")
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND "${CC}" -std=c99 ${extra} -c "${EXAMPLE_DIR}/roundtrip.c" ${flags}
                        -o "${WORK}/roundtrip-c-static.o"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(result EQUAL 0)
  execute_process(COMMAND "${c_linker}" ${extra} "${WORK}/roundtrip-c-static.o" ${flags}
                          -o "${WORK}/roundtrip-c-static"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "linking the C example with pkg-config --static flags failed:\n${out}")
endif()
run_roundtrip("${WORK}/roundtrip-c-static")
