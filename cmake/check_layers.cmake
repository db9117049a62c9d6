# Fails when a source file of FOLDER includes a project header from outside
# the folders it may see. Run as a build step before each layer's library:
#   cmake -DROOT=<source dir> -DFOLDER=payload -DALLOWED="payload;platform"
#         -DDENIED="platform/headless;platform/qt" -DSTAMP=<file> -P check_layers.cmake
# Only the folder's own files are checked, not its sub-folders; a header is
# named by its path from the project's root ("platform/bitmap.h").
file(GLOB sources "${ROOT}/${FOLDER}/*.h" "${ROOT}/${FOLDER}/*.cpp")
set(problems "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      continue()  # a system-style name in quotes, not a project header
    endif()
    set(allowed FALSE)
    foreach(prefix IN LISTS ALLOWED)
      if(header MATCHES "^${prefix}/")
        set(allowed TRUE)
      endif()
    endforeach()
    foreach(prefix IN LISTS DENIED)
      if(header MATCHES "^${prefix}/")
        set(allowed FALSE)
      endif()
    endforeach()
    if(NOT allowed)
      file(RELATIVE_PATH name "${ROOT}" "${source}")
      string(APPEND problems "\n  ${name} includes \"${header}\"")
    endif()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "${FOLDER}/ may include only ${ALLOWED}:${problems}")
endif()
file(WRITE "${STAMP}" "")
