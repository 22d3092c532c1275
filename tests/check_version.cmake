# Checks that the documents written by hand name the project's version
# wherever they name one, and that the manual page bears the date of the
# changelog's latest entry:
#   cmake -D VERSION=X.Y.Z -D SOURCE_DIR=DIR -P check_version.cmake
# Everything else (the packages' names and control files, the Windows
# version resource, the changelog's version) is made from the version.
foreach(document README.md man/vesk-ip-convert.1)
  file(READ ${SOURCE_DIR}/${document} text)
  string(REGEX MATCHALL "vesk-ip-convert[-_ ][0-9]+\\.[0-9]+\\.[0-9]+" names "${text}")
  if(NOT names)
    message(FATAL_ERROR "${document} names no version; the check reads nothing")
  endif()
  foreach(name IN LISTS names)
    if(NOT name MATCHES "[-_ ]${VERSION}$")
      message(FATAL_ERROR "${document} names ${name}, but the version is ${VERSION}")
    endif()
  endforeach()
endforeach()

file(READ ${SOURCE_DIR}/packaging/changelog.in changelog)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT changelog MATCHES "\n -- [^\n]*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
  message(FATAL_ERROR "packaging/changelog.in has no dated entry")
endif()
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
if(month LESS 10)
  set(month 0${month})
endif()
set(date "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
file(READ ${SOURCE_DIR}/man/vesk-ip-convert.1 manual)
if(NOT manual MATCHES "\n\\.TH [^ ]+ [0-9]+ ${date} ")
  message(FATAL_ERROR "the manual page is not dated ${date}, as the changelog's latest entry is")
endif()
