# Writes the man pages of selfplay-tool from its own help, at build time:
# selfplay-tool.1 from `selfplay-tool --help`, and selfplay-tool-COMMAND.1
# for every command that help lists, from `selfplay-tool COMMAND --help`.
# Every page gets the EXIT STATUS and SEE ALSO sections of INCLUDE; EXAMPLES
# come from the help's "Examples:".
#   cmake -DTOOL=... -DHELP2MAN=... -DVERSION=... -DINCLUDE=file.h2m -DOUT=dir -P make_man_pages.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/wrappers")

execute_process(COMMAND "${TOOL}" --help OUTPUT_VARIABLE overall_help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()

function(man_page program name output)
  execute_process(
    COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1
            "--version-string=${VERSION}" "--name=${name}" "--include=${INCLUDE}" "--output=${output}"
            "${program}"
    RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man ${program}: ${error}")
  endif()
endfunction()

man_page("${TOOL}" "make, check and convert self-playing screen recordings" "${OUT}/selfplay-tool.1")

# The commands are the indented lines between "Commands:" and the next blank line.
string(REGEX REPLACE ".*\nCommands:\n" "" listing "${overall_help}")
string(REGEX REPLACE "\n\n.*" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^  ([a-z][a-z-]*) +(.*)$")
    continue()
  endif()
  set(command "${CMAKE_MATCH_1}")
  set(summary "${CMAKE_MATCH_2}")
  if(command STREQUAL "help")
    continue()
  endif()
  # help2man runs one program; a wrapper named after the page runs the command.
  set(wrapper "${OUT}/wrappers/selfplay-tool-${command}")
  file(WRITE "${wrapper}" "#!/bin/sh\nexec \"${TOOL}\" ${command} \"$@\"\n")
  file(CHMOD "${wrapper}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  man_page("${wrapper}" "${summary}" "${OUT}/selfplay-tool-${command}.1")
endforeach()
file(REMOVE_RECURSE "${OUT}/wrappers")
