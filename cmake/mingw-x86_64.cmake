# Cross-builds everything for 64-bit Windows with Debian's MinGW-w64 toolchain
# (g++-mingw-w64-x86-64): the module quorvex.mexw64 for a 64-bit host, which reaches a 32-bit
# feed library through the 32-bit build's feed helper, and the stand-in host and drivers:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# The results run on Windows and under Wine (wine64); scripts/windows-test.sh builds both and
# runs the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVEX_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model, for the C++ thread library that GoogleTest uses; its pthread
# library is linked statically like the rest of the runtime (below). Plain names are the
# fallback where only the alternatives' links are installed.
find_program(QUORVEX_MINGW_CC NAMES ${QUORVEX_MINGW_PREFIX}-gcc-posix ${QUORVEX_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(QUORVEX_MINGW_CXX NAMES ${QUORVEX_MINGW_PREFIX}-g++-posix ${QUORVEX_MINGW_PREFIX}-g++
             REQUIRED)
set(CMAKE_C_COMPILER ${QUORVEX_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QUORVEX_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QUORVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C library's own printf family knows neither %zu nor %lld everywhere; MinGW's
# replacement formats as C99 says, the same as on Linux. x64 computes doubles with SSE2.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# The GCC, C++ and pthread runtimes are linked into every DLL and executable, so nothing of
# MinGW has to be shipped beside the module or the feed library; only system DLLs are
# imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# GoogleTest is built from Debian's source package (googletest), and SQLite from its
# amalgamation, by the find modules in cross/; the host's own packages serve only the
# native build.
set(QUORVEX_CROSS_MODULES ${CMAKE_CURRENT_LIST_DIR}/cross)
if(NOT QUORVEX_CROSS_MODULES IN_LIST CMAKE_MODULE_PATH)
  list(PREPEND CMAKE_MODULE_PATH ${QUORVEX_CROSS_MODULES})
endif()

# Test executables run under Wine when CTest or a build step needs them. The unit tests are
# listed when CTest runs rather than after each link, so the build itself never starts Wine.
find_program(QUORVEX_WINE NAMES wine64 wine)
if(QUORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEX_WINE})
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
