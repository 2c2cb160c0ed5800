# Cross-build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64),
# tests run under Wine (Debian: wine, wine64).
#
#   cmake --workflow --preset mingw
#
# The -posix variants of the compilers come with the full libstdc++ (the
# -win32 ones lack parts of it). Everything is linked statically, so the .exe
# files need no MinGW DLL beside them, neither under Wine nor on Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVELIN_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${TARVELIN_MINGW_TRIPLET}-gcc-posix
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TARVELIN_MINGW_TRIPLET}-g++-posix
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TARVELIN_MINGW_TRIPLET}-windres)
find_program(TARVELIN_MINGW_OBJDUMP NAMES ${TARVELIN_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVELIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest starts every Windows program through Wine, quietly and in a Wine
# prefix of this build tree, so a run needs no setup outside it. The prefix
# is made once, by the test fixture wine_prefix (tests/CMakeLists.txt).
find_program(TARVELIN_WINE NAMES wine)
if(TARVELIN_WINE)
  set(TARVELIN_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND};-E;env;WINEDEBUG=-all;WINEPREFIX=${TARVELIN_WINEPREFIX};${TARVELIN_WINE}")
endif()
