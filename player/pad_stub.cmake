# Strips the linked player and pads it with zero bytes to exactly SIZE bytes.
# Run as: cmake -DSTUB=<file> -DSTRIP=<strip> -DSIZE=<bytes> -P pad_stub.cmake
execute_process(COMMAND ${STRIP} --strip-all ${STUB} RESULT_VARIABLE strip_result)
if(NOT strip_result EQUAL 0)
  file(REMOVE ${STUB})
  message(FATAL_ERROR "selfplay: strip failed on ${STUB}")
endif()
file(SIZE ${STUB} stripped_size)
if(stripped_size GREATER SIZE)
  # Removed, so that the next build links again instead of keeping a stub
  # that recordings cannot be appended to.
  file(REMOVE ${STUB})
  math(EXPR excess "${stripped_size} - ${SIZE}")
  message(FATAL_ERROR
    "selfplay: the stripped player is ${stripped_size} bytes, ${excess} more than the "
    "${SIZE} bytes a recording expects in front of it (PAYLOAD_OFFSET). Make the player smaller.")
endif()
execute_process(COMMAND truncate --size=${SIZE} ${STUB} RESULT_VARIABLE pad_result)
file(SIZE ${STUB} padded_size)
if(NOT pad_result EQUAL 0 OR NOT padded_size EQUAL SIZE)
  file(REMOVE ${STUB})
  message(FATAL_ERROR "selfplay: padding ${STUB} to ${SIZE} bytes failed")
endif()
message(STATUS "selfplay: ${stripped_size} bytes of program, padded to ${SIZE}")
