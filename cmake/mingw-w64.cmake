# The part of the mingw-w64 toolchain files shared by both architectures: the compilers, the
# dependencies prepared by scripts/build-windows (QELT_WINDOWS_DEPS, a folder with one prefix
# per architecture and the header-only libraries' include folders), static programs that need
# no runtime DLLs, and Wine to run them.
set(CMAKE_SYSTEM_NAME Windows)
set(QELT_MINGW ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${QELT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QELT_MINGW}-windres)

set(QELT_WINDOWS_DEPS "" CACHE PATH "Folder of the Windows dependencies that scripts/build-windows prepares")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QELT_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${QELT_MINGW} ${QELT_WINDOWS_DEPS}/${CMAKE_SYSTEM_PROCESSOR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
