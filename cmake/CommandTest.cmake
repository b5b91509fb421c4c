# Helpers of the command-line tests that run as cmake -P scripts.
# run(STATUS COMMAND...): runs the command with the NAME=value settings of RUN_ENV (read at each
# call), fails unless it exits with STATUS, and leaves its standard output and error in `out`
# and `err`. expect(TEXT PATTERN WHAT): fails, naming WHAT, unless TEXT matches PATTERN.
function(run expected_status)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${RUN_ENV} ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL expected_status)
    message(FATAL_ERROR "${ARGN}: exit ${status}, ${expected_status} expected\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect text pattern what)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what}: no match for '${pattern}' in:\n${text}")
  endif()
endfunction()
