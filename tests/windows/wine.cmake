# A MinGW build's tests run under Wine (cmake/wine-run BITS PREFIX), one wineserver for the run.
set(wine ${CMAKE_CROSSCOMPILING_EMULATOR})
if(NOT wine)
  message(FATAL_ERROR "A Windows build runs its tests under Wine: use a windows-* preset")
endif()
add_test(NAME tarnwick.wine.start COMMAND ${wine} --start-server)
add_test(NAME tarnwick.wine.stop COMMAND ${wine} --stop-server)
set_tests_properties(tarnwick.wine.start PROPERTIES FIXTURES_SETUP tarnwick_wine)
set_tests_properties(tarnwick.wine.stop PROPERTIES FIXTURES_CLEANUP tarnwick_wine)
# One variable only: gtest_discover_tests would split a list in a property.
set(TARNWICK_TEST_PROPERTIES FIXTURES_REQUIRED tarnwick_wine
                             ENVIRONMENT "WINEPREFIX=${TARNWICK_WINEPREFIX}")
# Where Wine's 32-bit loader fails, tests are registered whole and reported skipped.
set(TARNWICK_WINE_CAN_RUN ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND ${wine} --can-run RESULT_VARIABLE cannot OUTPUT_QUIET ERROR_QUIET)
  if(cannot)
    set(TARNWICK_WINE_CAN_RUN OFF)
    message(WARNING "Wine's 32-bit loader does not start: windows-x86 tests are reported skipped.")
  endif()
endif()
