# Every target of the project builds warning-free under -Wall -Wextra.
function(qw_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-missing-field-initializers)
endfunction()
