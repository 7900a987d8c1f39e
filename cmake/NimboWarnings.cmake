# One place for the project's warning flags.
function(nimbo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
  if(NIMBO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
