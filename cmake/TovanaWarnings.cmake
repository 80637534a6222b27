# Warnings every target of ours is built with.
add_library(tovana_warnings INTERFACE)
target_compile_options(tovana_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wnon-virtual-dtor -Wold-style-cast)
if(TOVANA_WERROR)
  target_compile_options(tovana_warnings INTERFACE -Werror)
endif()
