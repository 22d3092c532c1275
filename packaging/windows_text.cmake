# Writes a text file for Windows users, with CR LF line ends:
#   cmake -D INPUT=FILE -D OUTPUT=FILE [-D MANUAL=ON] -P windows_text.cmake
# With MANUAL, INPUT is the manual page, rendered as plain text with its
# text for Windows (register `windows`), so that the Windows README and the
# manual page cannot say different things. It is rendered as one continuous
# page (cR), without hyphenation (HY).
# A script has the policies of the version it names: find_program() then
# takes only a program that may be run.
cmake_minimum_required(VERSION 3.25)
if(MANUAL)
  find_program(groff groff)
  if(NOT groff)
    message(FATAL_ERROR "groff is missing: it renders the manual page as README.txt for the "
                        "Windows package (Debian package groff-base; groff in MSYS2 and elsewhere)")
  endif()
  execute_process(
    COMMAND ${groff} -t -man -Tascii -rwindows=1 -rcR=1 -rHY=0 -P-c -P-b -P-o -P-u ${INPUT}
    OUTPUT_VARIABLE text
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff could not render ${INPUT} (Debian package groff-base)")
  endif()
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
