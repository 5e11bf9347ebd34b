# Cross-build for 64-bit Windows with MinGW-w64 (Debian: mingw-w64). The
# POSIX-thread flavour of the compiler is used for its thread_local and
# std::thread support; the runtime libraries are linked statically so that
# kestrel.dll and kestrel.exe need nothing beside the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLLAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLLAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLLAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLLAN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLLAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
