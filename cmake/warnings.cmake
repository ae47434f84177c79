# Common compile flags for every target of the project.
add_library(tyq_flags INTERFACE)
target_compile_options(tyq_flags INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
if(TYQ_WERROR)
  target_compile_options(tyq_flags INTERFACE -Werror)
endif()
if(TYQ_SANITIZE)
  target_compile_options(tyq_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
  target_link_options(tyq_flags INTERFACE -fsanitize=address,undefined)
endif()
