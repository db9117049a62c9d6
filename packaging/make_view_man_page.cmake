# Writes selfplay-view.1 from `selfplay-view --help` and selfplay-view.h2m,
# at build time. help2man makes the help's "Keys:" and "Exit status:" into
# subsections of OPTIONS; they are sections of their own in a man page.
#   cmake -DVIEW=... -DHELP2MAN=... -DVERSION=... -DINCLUDE=... -DOUT=file -P make_view_man_page.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 "--version-string=${VERSION}" "--include=${INCLUDE}"
          "--output=${OUT}" "${VIEW}"
  RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man ${VIEW}: ${error}")
endif()
file(READ "${OUT}" page)
foreach(section "Keys" "Exit status")
  string(TOUPPER "${section}" heading)
  string(FIND "${page}" ".SS \"${section}:\"" at)
  if(at LESS 0)
    message(FATAL_ERROR "${VIEW} --help has no \"${section}:\" part")
  endif()
  string(REPLACE ".SS \"${section}:\"" ".SH \"${heading}\"" page "${page}")
endforeach()
file(WRITE "${OUT}" "${page}")
