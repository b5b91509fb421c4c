# quorvex-cli against the feed simulator: field shapes from its table, column headers, the
# host's prints and the module's warnings on standard error (so JSON stays valid), securities
# too long for a feed key refused, and usage errors that say what was wrong.
#   cmake -DCLI=<quorvex-cli> -DSIM=<pcqw32-sim> -DDIR=<scratch folder> -P cli_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/CommandTest.cmake)
set(RUN_ENV PCQW32_DATA_DIR=${DIR})

file(REMOVE_RECURSE ${DIR})
# A symbol and a qualifier of the most characters a key holds (a store refuses a longer
# symbol, which no client could ask for).
file(WRITE ${DIR}/quotes.csv "symbol,qualifier,price_type,last_price\nAAA,,12,1.25\n"
                             "AAA,ABCD,12,4.5\nABCDEFGHIJK,,12,2.5\n")
set(history "symbol,day,price,price_type\n")
set(bars "symbol,stamp,open,close,price_type\n")
foreach(i RANGE 1 8)
  string(APPEND history "AAA,${i},${i}.5,12\n")
  string(APPEND bars "AAA,${i}00,${i},${i}.25,12\n")
endforeach()
file(WRITE ${DIR}/history.csv "${history}")
file(WRITE ${DIR}/bars.csv "${bars}")
file(WRITE ${DIR}/fundamentals.csv "symbol,name,div_date\nKO,Coca-Cola,2024-06-14\nPEP,Pepsi,\n")
foreach(kind quotes history bars)
  run(0 ${SIM} import ${DIR} 1 ${kind} ${DIR}/${kind}.csv)
endforeach()
run(0 ${SIM} import ${DIR} 2 fundamentals ${DIR}/fundamentals.csv)

# Dates are three numbers per security, for one security as for several.
run(0 ${CLI} fundamentals 2 KO)
expect("${out}" "\nDivDate +2024 6 14 *\n" "a date of one security")
run(0 ${CLI} --json fundamentals 2 KO PEP)
expect("${out}" "\"DivDate\": \\[\\[2024, 6, 14\\], \\[0, 0, 0\\]\\]" "dates in JSON")
expect("${out}" "\"Name\": \\[\"Coca-Cola\", \"Pepsi\"\\]" "texts in JSON")

run(0 ${CLI} history 1 AAA)
expect("${out}" "^ +Day +Price +Size +Hour +Minute +Second +Condition\n +1 +1.5 " "history")
run(0 ${CLI} bars 1 AAA)
expect("${out}" "^ +Stamp +Open +High +Low +Close +Volume\n +100 +1 +0 +0 +1.25 +0\n" "bars")

# A failed delivery makes the module print a line and warn that the scan was cut: both on
# standard error, not in the JSON, and the status is 3.
set(RUN_ENV PCQW32_DATA_DIR=${DIR} PCQW32_FAULTS=delivery:5:2)
run(3 ${CLI} --json history 1 AAA)
expect("${err}" "warning quorvex:historyIncomplete: The history of symbol 'AAA'" "the warning")
expect("${err}" "DBA_GET_APPROX failed with code 5" "the module's print")
expect("${out}" "^\\[\\[1, 1.5, 0, 0, 0, 0, 0\\],\n( \\[[-0-9., ]+\\],\n)* \\[[-0-9., ]+\\]\\]\n$"
       "JSON alone on standard output")
set(RUN_ENV PCQW32_DATA_DIR=${DIR})

# The module cuts a symbol to 11 characters (ABCDEFGHIJKLXYZ would quote ABCDEFGHIJK): the
# tool refuses a longer symbol or qualifier, before any module call.
run(0 ${CLI} --json quote 1 ABCDEFGHIJK AAA:ABCD AAA)
expect("${out}" "\"Symbol\": \\[\"ABCDEFGHIJK\", \"AAA\", \"AAA\"\\]" "symbols at the limits")
expect("${out}" "\"LastPrice\": \\[2.5, 4.5, 1.25\\]" "quotes of symbols at the limits")
run(1 ${CLI} quote 1 ABCDEFGHIJKLXYZ)
expect("${out}" "^$" "no quote of a long symbol")
expect("${err}" "^error quorvex:badSecurities: security 1 \\('ABCDEFGHIJKLXYZ'\\) has 15 characters; a symbol has at most 11\n$"
       "a long symbol")
run(1 ${CLI} fundamentals 2 KO ABCDEFGHIJKL)
expect("${err}" "^error quorvex:badSecurities: security 2 \\('ABCDEFGHIJKL'\\) has 12 " "the second security")
run(1 ${CLI} quote 1 IBM :2406)
expect("${err}" "^error quorvex:badSecurities: security 2 has an empty symbol\n$" "an empty symbol")
run(1 ${CLI} history 1 AAA:ABCDE)
expect("${err}" "^error quorvex:badQualifier: qualifier 1 \\('ABCDE'\\) has 5 characters; a qualifier has at most 4\n$"
       "a long qualifier")

# A warning goes to standard error and makes the status 3; the result is printed still.
run(3 ${CLI} history 1 NOSUCH)
expect("${err}" "^warning quorvex:noHistory: [^\n]*NOSUCH[^\n]*\n$" "the warning of no history")
expect("${out}" "^ +Day +Price +Size +Hour +Minute +Second +Condition\n$" "the empty history")

# Only an integer in the signed 32-bit range is a database; a negative one goes to the feed.
foreach(database 1.5 1e0 0x1 " 1" +-1 2147483648 -2147483649)
  run(2 ${CLI} attach "${database}")
  string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${database}")
  expect("${err}" "^quorvex-cli: the database number must be an integer from -2147483648 to 2147483647, not '${pattern}'\n"
         "database '${database}'")
endforeach()
set(RUN_ENV PCQW32_DATA_DIR=${DIR} PCQW32_TRACE=1)
foreach(database -7 -2147483648 +2147483647)
  string(REPLACE "+" "" passed "${database}")
  run(1 ${CLI} attach ${database})
  expect("${err}" "dbax\\(op 0, parameter ${passed}\\)" "database ${database} passed on")
endforeach()
set(RUN_ENV PCQW32_DATA_DIR=${DIR})
run(0 ${CLI} attach +1)
expect("${out}" "^1\n$" "database +1")

run(2 ${CLI} quote 1)
expect("${err}" "quote takes at least one security" "a quote of nothing")
run(2 ${CLI} frob 1)
expect("${err}" "unknown request 'frob'" "an unknown request")
run(0 ${CLI} --help)
expect("${out}" "^usage: quorvex-cli" "--help")
expect("${out}" "\n  3  the result is printed, but the module warned" "exit status 3 in --help")
file(REMOVE_RECURSE ${DIR})
