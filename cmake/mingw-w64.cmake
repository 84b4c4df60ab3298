# Cross-compiles for Windows with Debian's mingw-w64. Include it from a file
# that sets ORVANTA_MINGW_ARCH (x86_64 or i686) first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVANTA_MINGW_ARCH})
set(triple ${ORVANTA_MINGW_ARCH}-w64-mingw32)

# The -posix compilers: GoogleTest needs std::mutex.
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One exe that needs nothing but Windows' own DLLs, with only the code it
# calls: every function in a section of its own, and the unused ones dropped.
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
# No link time in the PE header, so that a rebuild gives the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections -Wl,--no-insert-timestamp")

# ctest runs every test program under Wine; 32-bit ones are skipped where
# this machine runs no 32-bit Wine.
find_program(ORVANTA_WINE NAMES wine wine64)
if(ORVANTA_WINE AND ORVANTA_MINGW_ARCH STREQUAL i686)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine32.sh)
elseif(ORVANTA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANTA_WINE})
endif()
