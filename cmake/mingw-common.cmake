# mingw-common.cmake - what both MinGW-w64 cross toolchains share; included by
# mingw-i686.cmake and mingw-x86_64.cmake after they set MINGW_TRIPLET and
# MINGW_WINE (the Wine loader that runs the programs of that architecture).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump of the target")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools run under Wine; the caller provides WINEPREFIX and a running wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_WINE})
