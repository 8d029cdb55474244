# Warnings are errors in every build.
function(vorlune_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2 -Werror)
  endif()
endfunction()
