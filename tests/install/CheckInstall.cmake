# Installs the build into a fresh prefix, then checks the installed tree: the programs, the data
# files in share/ixoral, and the installed batch tool reading the installed sample scene.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install into ${PREFIX} failed")
endif()
foreach(f bin/ixoral-cli share/ixoral/samples/reference.ixr)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/ixoral-cli" info "${PREFIX}/share/ixoral/samples/reference.ixr"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Lumi")
  message(FATAL_ERROR "the installed batch tool could not read the installed sample: ${out}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed tree checked")
