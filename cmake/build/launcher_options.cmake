# The launcher's code: small, no exceptions, no run-time type information.
function(qw_launcher_options target)
  qw_warnings(${target})
  # -fno-ident: no compiler's name and version in every object file.
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections
                                           -fno-ident)
  # 32-bit Windows unwinds by frame chains, so DWARF tables would only serve
  # C++ exceptions, which the launcher has none of. 64-bit Windows needs its
  # unwind data in every non-leaf function.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
  endif()
endfunction()
