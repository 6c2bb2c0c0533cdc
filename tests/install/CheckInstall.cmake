# Installs the build into a fresh prefix, then checks the installed tree: the programs, the data
# files in share/ixoral, the desktop files (validated by the desktop's own tools), the installed
# batch tool reading the installed sample scene, and the installed modeller finding its data.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install into ${PREFIX} failed")
endif()
foreach(f bin/ixoral-cli bin/ixoral share/ixoral/samples/reference.ixr share/ixoral/mirlo.dat
          share/ixoral/help/index.html share/applications/org.ixoral.Ixoral.desktop
          share/mime/packages/org.ixoral.Ixoral.xml share/icons/hicolor/scalable/apps/org.ixoral.Ixoral.svg
          share/metainfo/org.ixoral.Ixoral.metainfo.xml)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()

# The desktop's validators, when the machine has them (the set-up script installs them).
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${PREFIX}/share/applications/org.ixoral.Ixoral.desktop"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
else()
  message(WARNING "desktop-file-validate not found: the desktop entry was not validated")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${PREFIX}/share/metainfo/org.ixoral.Ixoral.metainfo.xml"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
else()
  message(WARNING "appstreamcli not found: the metainfo was not validated")
endif()
find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  execute_process(COMMAND "${UPDATE_MIME_DATABASE}" "${PREFIX}/share/mime" RESULT_VARIABLE rc ERROR_VARIABLE out)
  file(READ "${PREFIX}/share/mime/globs2" globs)
  if(NOT rc EQUAL 0 OR NOT globs MATCHES "application/x-ixoral:\\*\\.ixr")
    message(FATAL_ERROR "the document type did not reach the MIME database: ${out}")
  endif()
endif()

execute_process(COMMAND "${PREFIX}/bin/ixoral-cli" info "${PREFIX}/share/ixoral/samples/reference.ixr"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Lumi")
  message(FATAL_ERROR "the installed batch tool could not read the installed sample: ${out}")
endif()

# The installed modeller, offscreen, its data looked for beside it only: a screenshot of the
# installed sample, and the about box's scene found.
set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{XDG_CONFIG_HOME} "${PREFIX}/home/config")
set(ENV{XDG_DATA_HOME} "${PREFIX}/home/data")
set(ENV{XDG_STATE_HOME} "${PREFIX}/home/state")
set(ENV{XDG_RUNTIME_DIR} "${PREFIX}/home/runtime")
file(MAKE_DIRECTORY "${PREFIX}/home/runtime")
file(CHMOD "${PREFIX}/home/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
unset(ENV{IXORAL_DATA_DIR})
execute_process(COMMAND "${PREFIX}/bin/ixoral" --screenshot "${PREFIX}/shot.png"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/shot.png")
  message(FATAL_ERROR "the installed modeller could not take its screenshot: ${out} ${err}")
endif()
foreach(f mirlo.dat help/index.html samples/reference.ixr)
  if(NOT out MATCHES "${PREFIX}/share/ixoral/${f}")
    message(FATAL_ERROR "the installed modeller did not find ${f} in the prefix: ${out}")
  endif()
endforeach()
# A refused document: its message on standard error and a failure, never a message box that
# nobody can answer.
file(WRITE "${PREFIX}/corrompu.ixr" "ceci n'est pas un document")
execute_process(COMMAND "${PREFIX}/bin/ixoral" --screenshot "${PREFIX}/refused.png" "${PREFIX}/corrompu.ixr"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 1 OR NOT err MATCHES "corrompu" OR EXISTS "${PREFIX}/refused.png")
  message(FATAL_ERROR "a refused document did not end the screenshot with its message: ${rc} ${err}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed tree checked")
