# Writes the Windows package's THIRD-PARTY-NOTICES.txt, with CR LF line ends:
#   cmake -D TEMPLATE=FILE -D COPYRIGHT=FILE -D OUTPUT=FILE -P third_party_notices.cmake
# COPYRIGHT is Debian's machine-readable copyright file of the mingw-w64
# runtime (package mingw-w64-common). Its paragraph for all files ("Files: *")
# gives the copyright line, the license's name and its text, so that the
# notice is the one of the runtime that was linked in.
# The policies of the CMake version that the project needs.
cmake_minimum_required(VERSION 3.25)
if(NOT EXISTS ${COPYRIGHT})
  message(FATAL_ERROR "${COPYRIGHT} is missing: the notices of the mingw-w64 runtime that is "
                      "linked into the program come from it (Debian package mingw-w64-common, or a "
                      "copy of its copyright file named with -DVESK_MINGW_COPYRIGHT=FILE)")
endif()
file(READ ${COPYRIGHT} copyright_file)
string(FIND "${copyright_file}" "\nFiles: *\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${COPYRIGHT} has no paragraph for all files (Files: *)")
endif()
string(SUBSTRING "${copyright_file}" ${start} -1 paragraph)
string(FIND "${paragraph}" "\n\n" end)
string(SUBSTRING "${paragraph}" 0 ${end} paragraph)
string(REGEX MATCH "\nCopyright: ([^\n]*)" _ "${paragraph}")
set(copyright "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nLicense: ([^\n]*)\n(.*)" _ "${paragraph}")
set(license_name "${CMAKE_MATCH_1}")
# The text's lines are indented by one space, and an empty line is " .".
string(REGEX REPLACE "\n \\.(\n|$)" "\n\n" license_text "\n${CMAKE_MATCH_2}")
string(REGEX REPLACE "\n \\.(\n|$)" "\n\n" license_text "${license_text}")
string(REPLACE "\n " "\n" license_text "${license_text}")
string(STRIP "${license_text}" license_text)
if(copyright STREQUAL "" OR license_name STREQUAL "" OR license_text STREQUAL "")
  message(FATAL_ERROR "${COPYRIGHT} gives no copyright line or license text for all files")
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
file(READ ${OUTPUT} text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
