# GoogleTest for a cross build: compiled for the target from Debian's googletest source package
# (/usr/src/googletest), since no prebuilt copy for the target exists. Provides the same
# targets as the host's package: GTest::gtest, GTest::gtest_main, GTest::gmock,
# GTest::gmock_main.
set(QUORVEX_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest source tree built for the cross target")

if(NOT TARGET GTest::gtest_main AND EXISTS ${QUORVEX_GOOGLETEST_SOURCE}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # The project's warning options are not GoogleTest's: build it with its own.
  get_directory_property(quorvex_saved_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${QUORVEX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                   SYSTEM)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${quorvex_saved_options}")
  unset(quorvex_saved_options)
endif()

if(TARGET GTest::gtest_main)
  set(GTEST_INCLUDE_DIRS ${QUORVEX_GOOGLETEST_SOURCE}/googletest/include)
  set(GTEST_LIBRARIES GTest::gtest)
  set(GTEST_MAIN_LIBRARIES GTest::gtest_main)
  set(GTEST_BOTH_LIBRARIES GTest::gtest GTest::gtest_main)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GTest REQUIRED_VARS GTEST_INCLUDE_DIRS GTEST_LIBRARIES)
