# Shared by the mingw-w64 toolchain files; they set mingw_prefix first.
# The compilers with Windows' own threads: the program has one thread, and
# the POSIX ones would link a threads library into it.
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-win32)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes are linked in, so the .exe needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs built here run under the Wine loader for their word size.
# It is named outright: once 32-bit Wine is installed, `wine` is its loader,
# which cannot run 64-bit programs. The tests check that it can start.
set(VESK_WINE_LOADER /usr/lib/wine/${wine_loader} CACHE FILEPATH
    "The Wine loader that runs this build's programs")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VESK_WINE_LOADER})
