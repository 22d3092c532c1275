# The target of a Linux build for another processor or for any Linux, from
# the triple that the preset sets in VESK_TARGET_TRIPLE, such as
# aarch64-linux-gnu: its processor, and the name of qemu's user-mode
# emulator for it (package qemu-user), which runs the build's programs here.
# Included by linux-cross.cmake and linux-static.cmake, which keep the
# emulator in the cache, where CI's scripts read it too.
if(NOT VESK_TARGET_TRIPLE)
  message(FATAL_ERROR "Set VESK_TARGET_TRIPLE to the target, such as aarch64-linux-gnu.")
endif()
# The checks that CMake compiles read the toolchain file again, and need the triple.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESK_TARGET_TRIPLE)

string(REGEX MATCH "^[^-]+" vesk_target_processor ${VESK_TARGET_TRIPLE})
# qemu names two processors otherwise than the triples do.
set(vesk_qemu qemu-${vesk_target_processor})
if(vesk_target_processor MATCHES "^i[3-6]86$")
  set(vesk_qemu qemu-i386)
elseif(vesk_target_processor STREQUAL "powerpc64le")
  set(vesk_qemu qemu-ppc64le)
endif()
