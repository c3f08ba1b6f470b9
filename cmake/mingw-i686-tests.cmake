# Cross-compiles the 32-bit Windows tests with mingw-w64's POSIX thread model,
# which GoogleTest needs; the program they test comes from mingw-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SEALMARK_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
