# Cross-compiles the 32-bit Windows program with mingw-w64's win32 thread
# model, which links no threading library: the program has one thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SEALMARK_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
