# Runs a command and passes only when it ends with the exit status EXIT and its output (standard
# output and error together) matches REGEX; a crash gives some other status and fails.
#   cmake -DEXIT=2 -DREGEX=text -P ExpectExit.cmake -- command args...
set(command "")
set(after_dashes FALSE)
foreach(i RANGE 1 ${CMAKE_ARGC})
  if(after_dashes AND DEFINED CMAKE_ARGV${i})
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif("${CMAKE_ARGV${i}}" STREQUAL "--")
    set(after_dashes TRUE)
  endif()
endforeach()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT "${status}" STREQUAL "${EXIT}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXIT}; output:\n${output}")
endif()
if(NOT output MATCHES "${REGEX}")
  message(FATAL_ERROR "output does not match '${REGEX}':\n${output}")
endif()
