# Cross-compiles 64-bit Windows console programs with Debian's mingw-w64;
# the results run here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(mingw_prefix x86_64-w64-mingw32)
set(wine_loader wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
