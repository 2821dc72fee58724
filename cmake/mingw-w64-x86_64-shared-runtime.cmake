# Cross-compiling for 64-bit Windows with the compiler's runtime (libstdc++, libgcc, winpthread)
# as DLLs: for Qt, whose DLLs and the programs built on them must share one C++ runtime.
set(LEDSIGN_MINGW_SHARED_RUNTIME ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
