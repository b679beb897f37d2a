# Cross-compiling the Windows program for x86_64 with Debian's mingw-w64 (POSIX thread model).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
