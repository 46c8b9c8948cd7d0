# Stages a launcher's payload from the project's targets (qwpack_add_launcher
# PAYLOAD_TARGETS), run by the build:
#
#   cmake -DQWPACK_PAYLOAD=<folder> -P qwpackStagePayload.cmake -- <file>...
#
# Afterwards the folder holds each file at its top and nothing else (files
# of targets since taken out of the list go). A file whose bytes are
# already there is left as it is. Two files that Windows would take for one
# stop the build.

cmake_minimum_required(VERSION 3.21)

set(files "")
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
  if(after_separator AND NOT CMAKE_ARGV${index} STREQUAL "")
    list(APPEND files "${CMAKE_ARGV${index}}")
  elseif(CMAKE_ARGV${index} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()
list(REMOVE_DUPLICATES files)

set(names "")
foreach(file IN LISTS files)
  cmake_path(GET file FILENAME name)
  string(TOLOWER "${name}" folded)  # one file to Windows
  if(folded IN_LIST names)
    message(FATAL_ERROR "qwpack: two payload files are named ${name}; the second is ${file}")
  endif()
  list(APPEND names "${folded}")
endforeach()

file(MAKE_DIRECTORY "${QWPACK_PAYLOAD}")
file(GLOB staged LIST_DIRECTORIES TRUE RELATIVE "${QWPACK_PAYLOAD}" "${QWPACK_PAYLOAD}/*")
foreach(name IN LISTS staged)
  string(TOLOWER "${name}" folded)
  if(NOT folded IN_LIST names)
    file(REMOVE_RECURSE "${QWPACK_PAYLOAD}/${name}")
  endif()
endforeach()
foreach(file IN LISTS files)
  cmake_path(GET file FILENAME name)
  file(COPY_FILE "${file}" "${QWPACK_PAYLOAD}/${name}" ONLY_IF_DIFFERENT)
endforeach()
