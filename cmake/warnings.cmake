# Warnings are errors everywhere in the project's own code.
function(rflash_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wformat=2
    -Wimplicit-fallthrough -Wmissing-declarations)
endfunction()
