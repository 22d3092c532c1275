# Installation and packages: a .deb for Linux, laid out as Debian policy
# asks, and a .zip for Windows with the program and two text files at the
# top of its folder. Included from the top-level CMakeLists.txt.
include(GNUInstallDirs)

set(VESK_MAINTAINER "Vesk IP Convert developers <maintainers@vesk-ip-convert.invalid>"
    CACHE STRING "The packages' maintainer: a name and an e-mail address")

set(CPACK_PACKAGE_NAME vesk-ip-convert)
set(CPACK_PACKAGE_VENDOR "The Vesk IP Convert developers")
set(CPACK_PACKAGE_CONTACT "${VESK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert dotted IPv4 addresses into an encoded 32-bit value")
set(CPACK_PACKAGE_DESCRIPTION
    "vesk-ip-convert prompts for IPv4 addresses in dotted form and answers each
with the four octets it read and the encoded value, in decimal and in
hexadecimal. The encoded value packs the address with its first octet in the
most significant byte and inverts bits 0x20, 0x10 and 0x08 of the third octet
and bit 0x40 of the fourth.

It converts whole files as well: every input line gets exactly one result
line, however malformed it is.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

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
  add_custom_target(windows_text_files ALL DEPENDS ${readme} ${license})
  install(FILES ${readme} ${license} DESTINATION .)

  # The version resource and the manifest, compiled into the program.
  set(file_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  string(REPLACE "." "," file_version_commas ${file_version})
  set(manifest ${PROJECT_BINARY_DIR}/vesk-ip-convert.manifest)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/vesk-ip-convert.manifest.in ${manifest} @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/version.rc @ONLY)
  target_sources(vesk-ip-convert PRIVATE ${PROJECT_BINARY_DIR}/version.rc)
  set_source_files_properties(${PROJECT_BINARY_DIR}/version.rc PROPERTIES OBJECT_DEPENDS ${manifest})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  install(TARGETS vesk-ip-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian wants the manual page and the changelog compressed, without a
  # time stamp, and a machine-readable copyright file.
  set(docs ${PROJECT_BINARY_DIR}/debian-docs)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(
    OUTPUT ${docs}/vesk-ip-convert.1.gz ${docs}/changelog.gz
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

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VESK_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
