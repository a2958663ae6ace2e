# A MinGW build's tests run under Wine (cmake/wine-run BITS PREFIX). One
# wineserver, its streams on /dev/null (never ctest's pipe), serves the run.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "A Windows build needs CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run BITS "
                      "PREFIX): use the windows-x86 or windows-x64 preset")
endif()
set(TARNWICK_WINE ${CMAKE_CROSSCOMPILING_EMULATOR})
add_test(NAME tarnwick.wine.start COMMAND ${TARNWICK_WINE} --start-server)
add_test(NAME tarnwick.wine.stop COMMAND ${TARNWICK_WINE} --stop-server)
set_tests_properties(tarnwick.wine.start PROPERTIES FIXTURES_SETUP tarnwick_wine)
set_tests_properties(tarnwick.wine.stop PROPERTIES FIXTURES_CLEANUP tarnwick_wine)
# One variable only: gtest_discover_tests would split a list in a property.
set(TARNWICK_TEST_PROPERTIES FIXTURES_REQUIRED tarnwick_wine
                             ENVIRONMENT "WINEPREFIX=${TARNWICK_WINEPREFIX}")
# Where Wine's 32-bit loader fails, tests are registered whole and reported skipped.
set(TARNWICK_WINE_CAN_RUN ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND ${TARNWICK_WINE} --can-run RESULT_VARIABLE _tarnwick_wine32
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT _tarnwick_wine32 EQUAL 0)
    set(TARNWICK_WINE_CAN_RUN OFF)
    message(WARNING "This system cannot run 32-bit programs (Wine's 32-bit loader does not "
                    "start): the windows-x86 tests are built and reported as skipped.")
  endif()
endif()
