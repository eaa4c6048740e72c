# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix thread model, so that
# std::thread and friends work), linked statically so the executables need no extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTROVAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROVAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVAN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest and test discovery run the Windows executables through Wine.
find_program(KESTROVAN_WINE wine)
if(KESTROVAN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVAN_WINE})
endif()
