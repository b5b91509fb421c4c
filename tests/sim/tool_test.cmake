# pcqw32-sim from the command line: help, usage errors, the list of an imported store, and
# generate's two forms and its refusal of a folder holding other stores.
#   cmake -DTOOL=<pcqw32-sim> -DDIR=<scratch folder> -P tool_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CommandTest.cmake)

run(0 ${TOOL} --help)
expect("${out}" "usage: pcqw32-sim" "--help on standard output")
expect("${out}" "pcqw32-sim generate \\[--force\\] <folder>\n[^\n]*--force replaces" "--force in --help")
if(NOT err STREQUAL "")
  message(FATAL_ERROR "--help wrote to standard error: ${err}")
endif()
run(2 ${TOOL} frob)
expect("${err}" "unknown command \"frob\"" "an unknown command")
run(2 ${TOOL} list ${DIR})
expect("${err}" "usage: pcqw32-sim list <folder> <db>" "a missing argument")

file(REMOVE_RECURSE ${DIR})
file(WRITE ${DIR}/quotes.csv "symbol,qualifier,category,last_price\nAAPL-C190,2406,option,4.5\nMSFT,,,1\n")
file(WRITE ${DIR}/history.csv "symbol,price\nMSFT,1\nMSFT,2\n")
file(WRITE ${DIR}/cant.csv "symbol,value,text\nMSFT,1,x\n")
foreach(kind quotes history cant)
  run(0 ${TOOL} import ${DIR} 1 ${kind} ${DIR}/${kind}.csv)
endforeach()
run(0 ${TOOL} list ${DIR} 1)
expect("${out}" "\nAAPL-C190 +2406 +option +yes +- +0 +0 +-\n" "an option in the list")
expect("${out}" "\nMSFT +equity +yes +- +2 +0 +yes\n" "an equity in the list")
run(1 ${TOOL} list ${DIR} 9)
expect("${err}" "db9.sqlite does not exist" "a missing store")

# A database number names db<N>.sqlite: digits only, for every command that takes one.
foreach(command "import;-1;quotes;${DIR}/quotes.csv" "set;1x;record_kind;quote" "info;1e3" "list;0x1"
        "scan;-1;MSFT" "bars;1.5;MSFT" "recordings;-1" "calls;-2")
  list(GET command 0 name)
  list(SUBLIST command 1 -1 rest)
  list(GET rest 0 number)
  run(2 ${TOOL} ${name} ${DIR} ${rest})
  expect("${err}" "the database number is a non-negative integer, not \"${number}\"" "${name} ${number}")
endforeach()
file(GLOB stray ${DIR}/db-*)
if(stray)
  message(FATAL_ERROR "a refused database number wrote ${stray}")
endif()

# The imported store is the user's: never replaced, not even with --force.
file(SHA256 ${DIR}/db1.sqlite before)
run(1 ${TOOL} generate --force ${DIR})
expect("${err}" "db1.sqlite was not written by pcqw32-sim generate.*Nothing was written" "a user's store")
file(SHA256 ${DIR}/db1.sqlite after)
if(NOT before STREQUAL after OR EXISTS ${DIR}/db2.sqlite)
  message(FATAL_ERROR "a refused generate wrote into ${DIR}")
endif()
run(2 ${TOOL} generate --forced ${DIR})
expect("${err}" "unknown option \"--forced\"" "a misspelt option")
run(2 ${TOOL} generate ${DIR} ${DIR}/other)
# --force before or after the folder; on untouched samples it is not needed.
run(0 ${TOOL} generate ${DIR}/sample --force)
run(0 ${TOOL} generate ${DIR}/sample)
expect("${out}" "db2.sqlite: fundamentals of 54 securities" "a sample regenerated")
file(REMOVE_RECURSE ${DIR})
