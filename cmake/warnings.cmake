# Our own warnings, on every target of ours and kept off third-party code
# built alongside (GoogleTest in the Windows builds). Targets link the
# interface library tolmarix_warnings to get them; the presets make them
# errors.
add_library(tolmarix_warnings INTERFACE)
if(MSVC)
  target_compile_options(tolmarix_warnings INTERFACE /W4)
else()
  target_compile_options(tolmarix_warnings INTERFACE -Wall -Wextra -Wpedantic -Wconversion -Wshadow)
endif()
