# Cross-compiling for 32-bit Windows with MinGW-w64, posix thread model: the program
# users get, since it runs on 32-bit and 64-bit Windows alike.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
