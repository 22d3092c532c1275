# Hardening, as Debian 13 builds its packages: a stack protector, checked
# buffer functions, a position-independent program whose relocations are
# made read-only once it has started, stack-clash probes, and the
# processor's control-flow protection (CET on x86, BTI and pointer
# authentication on arm64); on Windows address-space randomisation and no
# execution from data pages. Included from the top-level CMakeLists.txt,
# which sets gnu_style and msvc_style.
include(CheckCXXCompilerFlag)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

# Every build type but Debug is hardened. Checked buffer functions need the
# optimiser to know the sizes, so they come only with the build types that
# optimise.
set(hardened "$<NOT:$<CONFIG:Debug>>")
set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")

# The processors that the build makes code for: one, except in a macOS
# build for several at once (CMAKE_OSX_ARCHITECTURES).
set(target_processors ${CMAKE_SYSTEM_PROCESSOR})
if(APPLE AND CMAKE_OSX_ARCHITECTURES)
  set(target_processors ${CMAKE_OSX_ARCHITECTURES})
endif()
list(LENGTH target_processors processor_count)
# The names that CMake and the compilers give x86 processors, 64- and 32-bit.
set(x86_processors "^(x86_64|AMD64|amd64|i[3-6]86|x86|X86)$")

# Adds the control-flow protection of `processor` where the compiler has it
# for that processor. In a build for several processors the flag is checked
# for that processor alone, and handed to its compilations only (-Xarch_),
# since the others reject it.
function(vesk_control_flow_protection processor)
  if(processor MATCHES "${x86_processors}")
    set(flag -fcf-protection)
  elseif(processor MATCHES "^(aarch64|arm64|ARM64)$")
    set(flag -mbranch-protection=standard)
  else()
    return()
  endif()
  string(MAKE_C_IDENTIFIER "VESK_HAS_${processor}${flag}" has_flag)
  if(processor_count GREATER 1)
    set(CMAKE_OSX_ARCHITECTURES ${processor})  # for the check's compilation only
  endif()
  check_cxx_compiler_flag(${flag} ${has_flag})
  if(NOT ${has_flag})
    return()
  endif()
  if(processor_count GREATER 1)
    set(flag "SHELL:-Xarch_${processor} ${flag}")
  endif()
  add_compile_options("$<${hardened}:${flag}>")
endfunction()

if(gnu_style)
  add_compile_options("$<${hardened}:-fstack-protector-strong>")
  add_link_options("$<${hardened}:-fstack-protector-strong>")
  if(WIN32)
    # Windows Vista (6.0) is the oldest version the program runs on, as its
    # manifest says, naming Vista to 11. The link time stamp is left out,
    # so that the same sources give the same program.
    add_link_options(LINKER:--dynamicbase,--nxcompat,--tsaware,--no-insert-timestamp
                     LINKER:--major-os-version,6,--minor-os-version,0
                     LINKER:--major-subsystem-version,6,--minor-subsystem-version,0)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      add_link_options(LINKER:--high-entropy-va)
    endif()
  else()
    # Undefined first: some compilers define it themselves, at another level.
    add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    if(NOT APPLE)
      add_link_options(LINKER:-z,relro,-z,now)
    endif()
    check_cxx_compiler_flag(-fstack-clash-protection VESK_HAS_fstack_clash_protection)
    if(VESK_HAS_fstack_clash_protection)
      add_compile_options("$<${hardened}:-fstack-clash-protection>")
    endif()
    foreach(processor IN LISTS target_processors)
      vesk_control_flow_protection(${processor})
    endforeach()
  endif()
elseif(msvc_style)
  # MSVC and clang-cl: buffer security checks and Control Flow Guard; the
  # linker's randomised, non-executable image; shadow stacks on x86.
  # Not built by CI.
  add_compile_options("$<${hardened}:/GS;/guard:cf>")
  add_link_options("$<${hardened}:/guard:cf>" /DYNAMICBASE /NXCOMPAT)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(/HIGHENTROPYVA)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "${x86_processors}")
    add_link_options(/CETCOMPAT)
  endif()
endif()
