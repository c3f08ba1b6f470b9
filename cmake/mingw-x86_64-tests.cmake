# Cross-compiles the 64-bit Windows tests with mingw-w64's POSIX thread model,
# which GoogleTest needs; the program they test comes from mingw-x86_64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SEALMARK_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
