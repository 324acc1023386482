# Warnings are errors in every target of the project.
if(MSVC)
  add_compile_options(/W4 /WX)
else()
  add_compile_options(
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wcast-align -Wformat -Wformat-security -Wimplicit-fallthrough
    $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
endif()
