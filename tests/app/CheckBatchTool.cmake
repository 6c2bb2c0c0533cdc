# Runs ixoral-cli where the documents and exports fail and checks what it tells: status 1 and the
# program's message on standard error, then on a line of its own the file it concerns (when the
# message does not name it) and why it failed. Run as:
# cmake -DCLI=<ixoral-cli> -DWORK=<scratch folder> -P CheckBatchTool.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(faults "")

# Runs the tool with the arguments after `message` and compares its status and standard error
# (the message and a line end, or nothing for an empty message).
function(expect status message)
  execute_process(COMMAND "${CLI}" ${ARGN} RESULT_VARIABLE got ERROR_VARIABLE told OUTPUT_QUIET)
  set(wanted "")
  if(NOT message STREQUAL "")
    set(wanted "${message}\n")
  endif()
  if(NOT got EQUAL status OR NOT told STREQUAL wanted)
    list(APPEND faults "${ARGN}: status ${got}, told [${told}] instead of ${status}, [${wanted}]")
    set(faults "${faults}" PARENT_SCOPE)
  endif()
endfunction()

set(access "Erreur lors de l'acces au fichier : ")
set(exists "\nLe fichier existe déjà")
set(notfolder "\nUn élément du chemin n'est pas un dossier")
# A document where a file stands in place of its folder.
file(WRITE "${WORK}/plain" "x")
expect(1 "${access}${WORK}/plain/scene.ixr${notfolder}" new "${WORK}/plain/scene.ixr")
# A document is replaced only with --force.
expect(0 "" new "${WORK}/a.ixr" --insert cube)
expect(1 "${access}${WORK}/a.ixr${exists}" new "${WORK}/a.ixr")
expect(0 "" new "${WORK}/a.ixr" --insert tore --force)
expect(1 "${access}${WORK}/a.ixr${exists}" resave "${WORK}/a.ixr" "${WORK}/a.ixr")
# The same for a POV-Ray scene.
expect(0 "" export-pov "${WORK}/a.ixr" "${WORK}/a.pov")
expect(1 "${access}${WORK}/a.pov${exists}" export-pov "${WORK}/a.ixr" "${WORK}/a.pov")
expect(1 "${access}${WORK}/plain/a.pov${notfolder}" export-pov "${WORK}/a.ixr" "${WORK}/plain/a.pov")
# A model export into a folder that cannot take it.
expect(1 "${access}${WORK}/plain/a.stl${notfolder}" export "${WORK}/a.ixr" "${WORK}/plain/a.stl")
# An archive is extracted over files already there only with --force.
file(MAKE_DIRECTORY "${WORK}/out")
expect(0 "" archive extract "${WORK}/a.ixr" "${WORK}/out")
expect(1 "Voulez vous ecraser : ${WORK}/out/a.ixr.tmp" archive extract "${WORK}/a.ixr" "${WORK}/out")
expect(0 "" archive extract "${WORK}/a.ixr" "${WORK}/out" --force)
# An OBJ export replaces its material file only with --force, even when the OBJ itself is gone.
expect(0 "" export "${WORK}/a.ixr" "${WORK}/m.obj")
file(REMOVE "${WORK}/m.obj")
expect(1 "${access}${WORK}/m.mtl${exists}" export "${WORK}/a.ixr" "${WORK}/m.obj")
expect(0 "" export "${WORK}/a.ixr" "${WORK}/m.obj" --force)
# Documents that cannot be read: the archive's message, then the document and what was found wrong.
expect(1 "le fichier est introuvable\n${WORK}/absent.ixr" info "${WORK}/absent.ixr")
expect(1 "le fichier est corrompue\n${WORK}/plain : fichier de 1 octet, trop court pour une archive" info "${WORK}/plain")
# Meshes imported: a new scene or a document with the meshes added; unreadable files are named.
expect(0 "" import - "${WORK}/m.obj" --output "${WORK}/i.ixr")
expect(1 "Voulez vous ecraser : ${WORK}/i.ixr" import - "${WORK}/m.obj" --output "${WORK}/i.ixr")
expect(0 "" import "${WORK}/i.ixr" "${WORK}/m.obj" --output "${WORK}/i.ixr" --force)
execute_process(COMMAND "${CLI}" info "${WORK}/i.ixr" OUTPUT_VARIABLE listed)
if(NOT listed MATCHES "\tm\t15\t" OR NOT listed MATCHES "\tMaillage1\t15\t")
  list(APPEND faults "import: the two meshes are not listed as mesh solids: ${listed}")
endif()
file(WRITE "${WORK}/vide.stl" "")
expect(1 "Aucun maillage dans : ${WORK}/vide.stl\nfichier vide" import - "${WORK}/vide.stl" --output "${WORK}/v.ixr")

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "the batch tool told:\n  ${text}")
endif()
