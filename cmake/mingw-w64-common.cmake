# Shared by the mingw-w64 toolchain files; they set mingw_prefix first.
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes are linked in, so the .exe needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs built here run under Wine where it is installed.
find_program(wine_program NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(wine_program)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${wine_program})
endif()
