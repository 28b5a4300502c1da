# The project's warning set, one interface library that every target links
# PRIVATE; the native build and the WebAssembly build (web/) share it.
add_library(tabulon_warnings INTERFACE)
target_compile_options(tabulon_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor)
