# Cross-compiles Linux programs with Debian's cross compilers (package
# g++-TRIPLE) for the target that VESK_TARGET_TRIPLE names, such as
# aarch64-linux-gnu, and runs the results here under qemu's user-mode
# emulator (package qemu-user), with the target's libraries from the cross
# compiler's folder /usr/TRIPLE.
include(${CMAKE_CURRENT_LIST_DIR}/linux-target.cmake)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${vesk_target_processor})
set(CMAKE_C_COMPILER ${VESK_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_TARGET_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${vesk_qemu} -L /usr/${VESK_TARGET_TRIPLE} CACHE STRING
    "The emulator that runs this build's programs" FORCE)
