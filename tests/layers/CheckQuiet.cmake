# Checks that the libraries below the commands never reach the user themselves: no source of theirs
# names the prompt. They answer results (src/platform/Result.h); the commands and the batch tool
# ask the questions and show the messages. Run as: cmake -DSOURCE=<src folder> -P CheckQuiet.cmake
cmake_minimum_required(VERSION 3.25)
set(quiet storage scene tools render document)

set(faults "")
foreach(library ${quiet})
  file(GLOB_RECURSE sources "${SOURCE}/${library}/*.h" "${SOURCE}/${library}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" lines REGEX "IPrompt|platform/Prompt\\.h")
    if(lines)
      file(RELATIVE_PATH name "${SOURCE}" "${source}")
      list(APPEND faults "${name}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "below the commands, these name the prompt:\n  ${text}")
endif()
