# The volumes of a set beside its program file: <program less .exe>-1.qwv,
# -2.qwv, ... as long as they follow on, which is how the launcher finds
# them (qwpack removes those of an earlier, longer set). Empty for a program
# file without volumes.
include_guard(GLOBAL)

function(_qwpack_volumes_beside result program)
  string(REGEX REPLACE "\\.[eE][xX][eE]$" "" stem "${program}")
  set(volumes "")
  foreach(number RANGE 1 255)
    if(NOT EXISTS "${stem}-${number}.qwv")
      break()
    endif()
    list(APPEND volumes "${stem}-${number}.qwv")
  endforeach()
  set(${result} "${volumes}" PARENT_SCOPE)
endfunction()
