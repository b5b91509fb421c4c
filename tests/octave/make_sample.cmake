# Writes the sample store into DIR and adds database 3 as a copy of database 1, so that the
# attach check of database 3 has a store to attach to; and makes an empty HOME for every test
# named in NAMES (comma-separated) under HOMES, so that no preferences outlive a run.
file(REMOVE_RECURSE ${DIR})
execute_process(COMMAND ${TOOL} generate ${DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "generating the sample store failed: ${result}")
endif()
file(COPY_FILE ${DIR}/db1.sqlite ${DIR}/db3.sqlite)
file(REMOVE_RECURSE ${HOMES})
string(REPLACE "," ";" names "${NAMES}")
foreach(name ${names})
  file(MAKE_DIRECTORY ${HOMES}/${name})
endforeach()
