# Installation and packages: a .deb for Linux, laid out as Debian policy
# asks, a .tar.gz of one folder (and an RPM) for the static programs for any
# Linux, and for Windows a .zip with the program and three text files at the
# top of its folder, and an MSI that installs them. The target `packages`
# makes them, reproducibly, with packaging/make_package.py. Included from
# the top-level CMakeLists.txt.
include(GNUInstallDirs)

set(VESK_MAINTAINER "Vesk IP Convert developers <maintainers@vesk-ip-convert.invalid>"
    CACHE STRING "The packages' maintainer: a name and an e-mail address")
set(VESK_HOMEPAGE "https://vesk-ip-convert.invalid/" CACHE STRING "The project's web page")
# The maintainer's name alone, which Windows shows as the publisher.
string(REGEX REPLACE " *<.*" "" VESK_PUBLISHER "${VESK_MAINTAINER}")

if(WIN32)
  install(TARGETS vesk-ip-convert RUNTIME DESTINATION .)
  # The manual page as plain text, and the license, with Windows line ends.
  set(text_script ${CMAKE_CURRENT_LIST_DIR}/windows_text.cmake)
  set(readme ${PROJECT_BINARY_DIR}/README.txt)
  set(license ${PROJECT_BINARY_DIR}/LICENSE.txt)
  add_custom_command(
    OUTPUT ${readme}
    COMMAND ${CMAKE_COMMAND} -D INPUT=${PROJECT_SOURCE_DIR}/man/vesk-ip-convert.1
            -D OUTPUT=${readme} -D MANUAL=ON -P ${text_script}
    DEPENDS ${PROJECT_SOURCE_DIR}/man/vesk-ip-convert.1 ${text_script}
    VERBATIM)
  add_custom_command(
    OUTPUT ${license}
    COMMAND ${CMAKE_COMMAND} -D INPUT=${PROJECT_SOURCE_DIR}/LICENSE -D OUTPUT=${license}
            -P ${text_script}
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${text_script}
    VERBATIM)
  # The notices of the toolchain's libraries that are linked into the
  # program, with the texts of the toolchain's own copyright file.
  set(VESK_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-common/copyright CACHE FILEPATH
      "Debian's copyright file of the mingw-w64 runtime, for the third-party notices")
  set(notices ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
  set(notices_script ${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake)
  set(notices_template ${CMAKE_CURRENT_LIST_DIR}/THIRD-PARTY-NOTICES.txt.in)
  # A missing copyright file is named by the script when the package is
  # made; as a dependency, it would stop the build with no reason given.
  set(copyright_dependency)
  if(EXISTS ${VESK_MINGW_COPYRIGHT})
    set(copyright_dependency ${VESK_MINGW_COPYRIGHT})
  endif()
  add_custom_command(
    OUTPUT ${notices}
    COMMAND ${CMAKE_COMMAND} -D TEMPLATE=${notices_template} -D COPYRIGHT=${VESK_MINGW_COPYRIGHT}
            -D OUTPUT=${notices} -P ${notices_script}
    DEPENDS ${notices_template} ${notices_script} ${copyright_dependency}
    VERBATIM)
  # Made for the package only: the program and its tests build without
  # groff and without Debian's copyright file, as with MSYS2's mingw-w64.
  add_custom_target(windows_text_files DEPENDS ${readme} ${license} ${notices})
  install(FILES ${readme} ${license} ${notices} DESTINATION . OPTIONAL)

  # The version resource and the manifest, compiled into the program.
  set(file_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  string(REPLACE "." "," file_version_commas ${file_version})
  set(manifest ${PROJECT_BINARY_DIR}/vesk-ip-convert.manifest)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/vesk-ip-convert.manifest.in ${manifest} @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/version.rc @ONLY)
  target_sources(vesk-ip-convert PRIVATE ${PROJECT_BINARY_DIR}/version.rc)
  set_source_files_properties(${PROJECT_BINARY_DIR}/version.rc PROPERTIES OBJECT_DEPENDS ${manifest})

  set(windows_architecture x86)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(windows_architecture x64)
  endif()
  set(package_documents windows_text_files)
  set(package_name ${PROJECT_NAME}-${PROJECT_VERSION}-windows-${windows_architecture})
  set(package_arguments zip ${PROJECT_BINARY_DIR} ${package_name})

  # And a Windows Installer package of the same files, where Debian's wixl,
  # msibuild (package msitools) and faketime are at hand. Its codes are
  # UUIDs made from names in this project's own namespace: the upgrade code
  # and the components' from the processor alone, so that each version
  # replaces the one before; the product and package codes from the version
  # too, as each version must have its own.
  find_program(WIXL wixl)
  find_program(MSIBUILD msibuild)
  find_program(FAKETIME faketime)
  if(WIXL AND MSIBUILD AND FAKETIME)
    set(namespace 0f3d6b52-8a4e-5c1d-9b7e-3a2f4c6d8e10)
    foreach(code upgrade_code programs_guid program_guid shortcut_guid)
      string(UUID msi_${code} NAMESPACE ${namespace} NAME "${code} ${windows_architecture}"
             TYPE SHA1 UPPER)
    endforeach()
    foreach(code product_code package_code)
      string(UUID msi_${code} NAMESPACE ${namespace}
             NAME "${code} ${PROJECT_VERSION} ${windows_architecture}" TYPE SHA1 UPPER)
    endforeach()
    set(msi_win64 no)
    if(windows_architecture STREQUAL "x64")
      set(msi_win64 yes)
    endif()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/vesk-ip-convert.wxs.in
                   ${PROJECT_BINARY_DIR}/vesk-ip-convert.wxs @ONLY)
    set(msi_arguments msi ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/vesk-ip-convert.wxs
        ${PROJECT_BINARY_DIR}/packages ${package_name} ${windows_architecture} ${msi_package_code})
  endif()
elseif(VESK_STATIC_MACHINE)
  # A static program for any Linux (cmake/linux-static.cmake): a tarball of
  # one folder with the program, its manual page, a README for the
  # download, the license, and the notices of musl, whose text comes from
  # Debian's copyright file of the musl that is linked in.
  set(VESK_MUSL_COPYRIGHT /usr/share/doc/musl-dev/copyright CACHE FILEPATH
      "Debian's copyright file of musl, for the third-party notices")
  if(NOT EXISTS ${VESK_MUSL_COPYRIGHT})
    message(FATAL_ERROR "${VESK_MUSL_COPYRIGHT} is missing: the notices of the musl that is linked "
                        "into the program come from it (Debian package musl-dev)")
  endif()
  file(READ ${VESK_MUSL_COPYRIGHT} musl_copyright)
  string(STRIP "${musl_copyright}" musl_copyright)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/THIRD-PARTY-NOTICES-linux.in
                 ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/README-linux.in ${PROJECT_BINARY_DIR}/README @ONLY)
  install(TARGETS vesk-ip-convert RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/man/vesk-ip-convert.1 ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_BINARY_DIR}/README ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES
          DESTINATION .)
  set(package_documents)
  set(package_arguments tar ${PROJECT_BINARY_DIR}
      ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${VESK_STATIC_MACHINE})
  # And an RPM for the processors that Fedora, RHEL and openSUSE ship for,
  # where rpmbuild is at hand (Debian package rpm).
  find_program(RPMBUILD rpmbuild)
  if(VESK_STATIC_MACHINE MATCHES "^(x86_64|aarch64)$" AND RPMBUILD)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/vesk-ip-convert.spec.in
                   ${PROJECT_BINARY_DIR}/vesk-ip-convert.spec @ONLY)
    set(rpm_arguments rpm ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/vesk-ip-convert.spec
        ${PROJECT_BINARY_DIR}/packages ${VESK_STATIC_MACHINE})
  endif()
else()
  install(TARGETS vesk-ip-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants the manual page and the changelog compressed, without a
  # time stamp, and a machine-readable copyright file.
  set(docs ${PROJECT_BINARY_DIR}/debian-docs)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(
    OUTPUT ${docs}/vesk-ip-convert.1.gz ${docs}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${docs}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/man/vesk-ip-convert.1
            ${PROJECT_BINARY_DIR}/changelog ${docs}
    COMMAND gzip -9nf ${docs}/vesk-ip-convert.1 ${docs}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/man/vesk-ip-convert.1 ${PROJECT_BINARY_DIR}/changelog
    VERBATIM)
  add_custom_target(compressed_documents ALL
    DEPENDS ${docs}/vesk-ip-convert.1.gz ${docs}/changelog.gz)
  install(FILES ${docs}/vesk-ip-convert.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The license in the copyright file's form: each line indented, and an
  # empty line written as " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
  string(STRIP "${license_text}" license_text)
  string(REPLACE "\n" "\n " license_text " ${license_text}")
  string(REPLACE "\n \n" "\n .\n" license_text "${license_text}")
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/vesk-ip-convert)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${docs}/changelog.gz
          DESTINATION ${doc_dir})

  # The package's control file, less what make_package.py finds out: the
  # libraries it depends on and its installed size. A cross build's Debian
  # architecture is the one of the system type that its compiler targets.
  if(CMAKE_CROSSCOMPILING)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine OUTPUT_VARIABLE target
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND dpkg-architecture -t ${target} -qDEB_HOST_ARCH
                    OUTPUT_VARIABLE deb_architecture OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  else()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_architecture
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/control.in ${PROJECT_BINARY_DIR}/debian-control @ONLY)
  set(package_documents compressed_documents)
  set(package_arguments deb ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/debian-control)
endif()

find_package(Python3 QUIET COMPONENTS Interpreter)
if(Python3_FOUND)
  # The RPM and the MSI, where they are made, from the same staged files.
  set(more_commands)
  foreach(arguments rpm_arguments msi_arguments)
    if(${arguments})
      list(APPEND more_commands COMMAND Python3::Interpreter
                                ${CMAKE_CURRENT_LIST_DIR}/make_package.py ${${arguments}})
    endif()
  endforeach()
  add_custom_target(packages
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/make_package.py ${package_arguments}
            ${PROJECT_BINARY_DIR}/packages
    ${more_commands}
    DEPENDS vesk-ip-convert ${package_documents}
    VERBATIM)
endif()
