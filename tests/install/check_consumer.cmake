# SPDX-License-Identifier: MIT
# Installs the build into PREFIX and builds examples/roundtrip.cpp and the C99
# examples/roundtrip.c against it as another project would: with find_package
# (linking huffcodec::huffcodec, then huffcodec::shared) and with pkg-config
# (the shared library). Each program must run and report a round trip. Arguments: BUILD_DIR, PREFIX,
# WORK (scratch directory), EXAMPLE_DIR, LIBDIR, VERSION, the build's
# GENERATOR, MAKE_PROGRAM, CXX and BUILD_TYPE, and EXTRA_FLAGS: compile and
# link flags the consumer needs on top of what the package gives it (the
# sanitizers, when the library is built with them).
file(REMOVE_RECURSE "${PREFIX}" "${WORK}")
# The C compiler of the C++ one's family, so that a sanitizer runtime matches.
string(REGEX REPLACE "clang\\+\\+([-0-9.]*)$" "clang\\1" CC "${CXX}")
string(REGEX REPLACE "g\\+\\+([-0-9.]*)$" "gcc\\1" CC "${CC}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
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
  run_roundtrip("${build}/roundtrip")
  run_roundtrip("${build}/roundtrip_c")
endforeach()

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
execute_process(COMMAND "${CC}" -std=c99 -Wall -Wextra -pedantic -Werror ${extra}
                        "${EXAMPLE_DIR}/roundtrip.c" ${flags} -o "${WORK}/roundtrip-c-pkg-config"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "compiling the C example with pkg-config flags failed:\n${out}")
endif()
run_roundtrip("${WORK}/roundtrip-c-pkg-config" "${CMAKE_COMMAND}" -E env
              "LD_LIBRARY_PATH=${PREFIX}/${LIBDIR}")
