# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model) and runs
# the resulting programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each executable, so that a .exe runs on its own
# without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(COMPUTER_ID_WINE wine)
if(COMPUTER_ID_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${COMPUTER_ID_WINE})
endif()
