# The include rule's test: builds each probe target of the build tree BUILD_DIR and passes only when
# every one fails to compile because the header it includes is out of its reach. PROBES holds
# <target>:<header> pairs separated by commas.
string(REPLACE "," ";" probes "${PROBES}")
set(failures "")
foreach(probe IN LISTS probes)
  string(REPLACE ":" ";" parts "${probe}")
  list(GET parts 0 target)
  list(GET parts 1 header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REPLACE "." "\\." header_pattern "${header}")
  if(result EQUAL 0)
    string(APPEND failures "\n${target} compiled: ${header} is within its reach")
  elseif(NOT output MATCHES "${header_pattern}(: No such file or directory|' file not found)")
    string(APPEND failures "\n${target} failed, but not for want of ${header}:\n${output}")
  else()
    message(STATUS "${target}: ${header} is out of reach")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The include rule does not hold:${failures}")
endif()
