# Static programs that run on any Linux kernel, with no program interpreter
# and no shared library: static position-independent executables, built
# with Debian's GCC for the target that VESK_TARGET_TRIPLE names (as in
# linux-cross.cmake; the processor's own compiler for this machine's) and
# linked against Debian's musl C library (package musl-dev, or musl-dev:ARCH
# for another processor). The C++ headers are LLVM's (package libc++-dev):
# libstdc++'s need glibc. The program uses no C++ library code, only its
# headers, so musl's libc.a and libgcc are all it links.
#
# musl's own compiler specs would give a dynamic program for -static-pie,
# so the start files and libraries are named here instead; CI's readelf
# check (.ci/check-hardening --static) refuses a program that needs a loader.
include(${CMAKE_CURRENT_LIST_DIR}/linux-target.cmake)
cmake_host_system_information(RESULT host_processor QUERY OS_PLATFORM)
if(NOT vesk_target_processor STREQUAL host_processor)
  # Another processor's program runs here under qemu's user-mode emulator;
  # a static program needs none of the target's libraries.
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR ${vesk_target_processor})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${vesk_qemu} CACHE STRING
      "The emulator that runs this build's programs" FORCE)
endif()
set(CMAKE_C_COMPILER ${VESK_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_TARGET_TRIPLE}-g++)

# Debian's multiarch name for musl on each processor, and the name that
# `uname -m` prints there, which the tarball's name carries.
set(musl_triples
  x86_64-linux-gnu=x86_64-linux-musl=x86_64
  aarch64-linux-gnu=aarch64-linux-musl=aarch64
  arm-linux-gnueabihf=arm-linux-musleabihf=armv7l
  i686-linux-gnu=i386-linux-musl=i686)
set(musl_triple)
foreach(entry IN LISTS musl_triples)
  if(entry MATCHES "^${VESK_TARGET_TRIPLE}=([^=]*)=(.*)$")
    set(musl_triple ${CMAKE_MATCH_1})
    set(VESK_STATIC_MACHINE ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT musl_triple)
  message(FATAL_ERROR "No musl build is known for ${VESK_TARGET_TRIPLE}.")
endif()
set(musl_lib /usr/lib/${musl_triple})
set(musl_include /usr/include/${musl_triple})
foreach(file ${musl_lib}/libc.a ${musl_lib}/rcrt1.o ${musl_include}/stdio.h
             /usr/include/c++/v1/version)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: install musl-dev for the target, and libc++-dev.")
  endif()
endforeach()

# GCC's own headers (stddef.h, the intrinsics) and files, found where this
# compiler keeps them.
foreach(name include crtbeginS.o crtendS.o)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE gcc_${name} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)

# LLVM's C++ headers first, as they wrap the C headers, then musl's, then
# GCC's: no header of glibc's or libstdc++'s is seen.
set(headers "-nostdinc -nostdinc++ -isystem /usr/include/c++/v1 -isystem ${musl_include}")
string(APPEND headers " -isystem ${gcc_include} -D_LIBCPP_HAS_MUSL_LIBC")
set(CMAKE_C_FLAGS_INIT "-nostdinc -isystem ${musl_include} -isystem ${gcc_include}")
set(CMAKE_CXX_FLAGS_INIT ${headers})

# A static position-independent program: musl's start files for one
# (rcrt1.o, which relocates the program itself), its libc.a by name, no
# dynamic linker, and text that needs no relocation; with a build ID, which
# debuggers look for. The linker is told so itself: GCC's -static-pie
# leaves the dynamic linker in on 32-bit ARM.
set(start_files "${musl_lib}/rcrt1.o ${musl_lib}/crti.o ${gcc_crtbeginS.o}")
set(end_files "${musl_lib}/libc.a ${libgcc} ${gcc_crtendS.o} ${musl_lib}/crtn.o")
set(static_pie "-static -Wl,-pie,--no-dynamic-linker,-z,text,--build-id")
# The link map names every file that the linker took code from; the
# tarball's check compares it with the third-party notices.
string(APPEND static_pie " -Wl,-Map=<TARGET>.map")
foreach(language C CXX)
  set(CMAKE_${language}_LINK_EXECUTABLE
    "<CMAKE_${language}_COMPILER> <FLAGS> <CMAKE_${language}_LINK_FLAGS> <LINK_FLAGS> -nostdlib ${static_pie} ${start_files} <OBJECTS> -o <TARGET> <LINK_LIBRARIES> ${end_files}")
endforeach()
