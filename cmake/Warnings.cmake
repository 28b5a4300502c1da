# The project's warning set, one interface library that every target links
# PRIVATE; the native build and the WebAssembly build (web/) share it.
# TABULON_WERROR (CI) makes every warning an error.
add_library(tabulon_warnings INTERFACE)
target_compile_options(tabulon_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
  -Wold-style-cast -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
if(TABULON_WERROR)
  target_compile_options(tabulon_warnings INTERFACE -Werror)
endif()
