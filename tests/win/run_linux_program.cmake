# Runs a test program of the Linux build from the Windows build's tests.
# cmake -DPROGRAM=<path> -DFILTER=<gtest filter> -P run_linux_program.cmake
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "${PROGRAM} is not built: build the default preset first")
endif()
execute_process(COMMAND "${PROGRAM}" "--gtest_filter=${FILTER}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --gtest_filter=${FILTER}: ${result}")
endif()
