# One interface target carries the warning flags (warnings are errors) and, when asked for,
# the sanitizers; every target of ours links it.
add_library(hg_warnings INTERFACE)
if(MSVC)
  target_compile_options(hg_warnings INTERFACE /W4 /WX /utf-8)
else()
  target_compile_options(hg_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Werror)
endif()
if(HANAGUMO_SANITIZE)
  target_compile_options(hg_warnings INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(hg_warnings INTERFACE -fsanitize=address,undefined)
endif()
