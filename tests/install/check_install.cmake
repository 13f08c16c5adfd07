# Runs cmake --install into PREFIX and fails unless every installed file is there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
include(GNUInstallDirs)
foreach(path IN ITEMS ${CMAKE_INSTALL_BINDIR}/uncompress ${CMAKE_INSTALL_BINDIR}/compress
                      ${CMAKE_INSTALL_MANDIR}/man1/uncompress.1
                      ${CMAKE_INSTALL_MANDIR}/man1/compress.1)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "missing after install: ${path}")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/${CMAKE_INSTALL_BINDIR}/uncompress"
                RESULT_VARIABLE status ERROR_VARIABLE usage)
if(NOT status EQUAL 255 OR NOT usage MATCHES "Usage: ")
  message(FATAL_ERROR "installed uncompress does not run: ${status} ${usage}")
endif()
