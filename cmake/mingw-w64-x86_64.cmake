# Cross-compiling a native 64-bit Windows build with Debian's MinGW-w64 (the
# posix thread model, which std::thread and std::condition_variable need).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DGLIMMET_WIN32_PREFIX=<libjpeg-turbo installed for MinGW> ...
# scripts/build-windows does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

# Libraries built for Windows live under the MinGW root and the prefix the
# caller names; host libraries must never be picked up.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(GLIMMET_WIN32_PREFIX "" CACHE PATH "Where libraries cross-built for Windows are installed")
if(GLIMMET_WIN32_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${GLIMMET_WIN32_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The .exe must run on a bare Windows: the C++ runtime, libgcc and
# winpthread go into it instead of beside it as DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and other programs built here run under Wine.
find_program(GLIMMET_WINE NAMES wine wine64)
if(GLIMMET_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GLIMMET_WINE})
endif()
