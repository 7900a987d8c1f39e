# One place for the project's warning flags.
function(nimbo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough
    # GCC 12 reports false -Wrestrict overlaps inside std::string at -O3 (a known compiler bug).
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
  if(NIMBO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
