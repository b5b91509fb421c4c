# SQLite for a cross build: compiled for the target from the SQLite amalgamation (sqlite3.c and
# sqlite3.h, public domain), as there is no prebuilt library for the target.
# scripts/fetch-sqlite.sh puts the two files into the folder named here. Provides the same
# target and variables as CMake's own FindSQLite3: SQLite::SQLite3, SQLite3_INCLUDE_DIRS,
# SQLite3_LIBRARIES, SQLite3_VERSION.
set(QUORVEX_SQLITE_AMALGAMATION_DIR ${CMAKE_BINARY_DIR}/_deps/sqlite3
    CACHE PATH "Folder holding sqlite3.c and sqlite3.h for the cross target")

if(NOT TARGET SQLite::SQLite3 AND EXISTS ${QUORVEX_SQLITE_AMALGAMATION_DIR}/sqlite3.c
   AND EXISTS ${QUORVEX_SQLITE_AMALGAMATION_DIR}/sqlite3.h)
  add_library(quorvex_sqlite3 STATIC ${QUORVEX_SQLITE_AMALGAMATION_DIR}/sqlite3.c)
  target_include_directories(quorvex_sqlite3 SYSTEM
                             PUBLIC ${QUORVEX_SQLITE_AMALGAMATION_DIR})
  # Only what a file store needs: no extension loading, no deprecated interfaces.
  target_compile_definitions(quorvex_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION
                                                     SQLITE_OMIT_DEPRECATED SQLITE_DQS=0)
  set_target_properties(quorvex_sqlite3 PROPERTIES POSITION_INDEPENDENT_CODE ON)
  add_library(SQLite::SQLite3 ALIAS quorvex_sqlite3)
endif()

if(TARGET SQLite::SQLite3)
  set(SQLite3_INCLUDE_DIR ${QUORVEX_SQLITE_AMALGAMATION_DIR})
  set(SQLite3_INCLUDE_DIRS ${SQLite3_INCLUDE_DIR})
  set(SQLite3_LIBRARY quorvex_sqlite3)
  set(SQLite3_LIBRARIES SQLite::SQLite3)
  file(STRINGS ${QUORVEX_SQLITE_AMALGAMATION_DIR}/sqlite3.h quorvex_sqlite_version
       REGEX "^#define SQLITE_VERSION +\"[^\"]+\"")
  string(REGEX REPLACE "^#define SQLITE_VERSION +\"([^\"]+)\".*" "\\1" SQLite3_VERSION
                       "${quorvex_sqlite_version}")
  unset(quorvex_sqlite_version)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(
  SQLite3 REQUIRED_VARS SQLite3_INCLUDE_DIR SQLite3_LIBRARY VERSION_VAR SQLite3_VERSION
  FAIL_MESSAGE "No SQLite amalgamation in ${QUORVEX_SQLITE_AMALGAMATION_DIR}: run scripts/fetch-sqlite.sh")
