# Cross-compiles Linux programs with Debian's cross compilers (package
# g++-TRIPLE) for the target that VESK_TARGET_TRIPLE names, such as
# aarch64-linux-gnu, and runs the results here under qemu's user-mode
# emulator (package qemu-user), with the target's libraries from the cross
# compiler's folder /usr/TRIPLE.
if(NOT VESK_TARGET_TRIPLE)
  message(FATAL_ERROR "Set VESK_TARGET_TRIPLE to the target, such as aarch64-linux-gnu.")
endif()
# The checks that CMake compiles read this file again, and need the triple.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESK_TARGET_TRIPLE)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${VESK_TARGET_TRIPLE})
set(CMAKE_C_COMPILER ${VESK_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_TARGET_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu names two processors otherwise than the triples do.
set(qemu_cpu ${CMAKE_SYSTEM_PROCESSOR})
if(qemu_cpu MATCHES "^i[3-6]86$")
  set(qemu_cpu i386)
elseif(qemu_cpu STREQUAL "powerpc64le")
  set(qemu_cpu ppc64le)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu_cpu} -L /usr/${VESK_TARGET_TRIPLE})
