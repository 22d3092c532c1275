# Cross-compiles 32-bit Windows console programs with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(mingw_prefix i686-w64-mingw32)
set(wine_loader wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
