# Tarnwick.dll under Wine (which maps the Unix root to Z:): registration, the
# client (with the backend's own cases), unregistration, the DLL's imports.
set(tarnwick_dll_windows "Z:$<TARGET_FILE:tarnwick_com>")
add_executable(tarnwick_com_tests windows/com_test.cpp support/recorder_reader.cpp)
target_include_directories(tarnwick_com_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                                      ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tarnwick_com_tests PRIVATE tarnwick tarnwick_idl_ids GTest::gtest_main
                                                 ole32 oleaut32 uuid)
target_compile_options(tarnwick_com_tests PRIVATE ${TARNWICK_WARNINGS})
target_compile_definitions(tarnwick_com_tests PRIVATE
  TARNWICK_RECORDER="$<TARGET_FILE:tarnwick_recorder>")
# A folder with a link back to itself inside, which a search must not go round.
set(loop ${CMAKE_CURRENT_BINARY_DIR}/loop)
file(WRITE ${loop}/a.sid "1")
file(WRITE ${loop}/sub/b.sid "22")
file(CREATE_LINK ${loop} ${loop}/sub/up SYMBOLIC)
target_compile_definitions(tarnwick_com_tests PRIVATE TARNWICK_LOOP="Z:${loop}")
add_dependencies(tarnwick_com_tests tarnwick_com tarnwick_recorder)

add_test(NAME tarnwick.com.client COMMAND tarnwick_com_tests --gtest_filter=-Unregistered.*)
if(NOT TARNWICK_WINE_CAN_RUN)
  # The client reports itself skipped where the system cannot run it.
  set_tests_properties(tarnwick.com.client PROPERTIES FIXTURES_REQUIRED tarnwick_wine
                       SKIP_RETURN_CODE 77)
else()
  add_test(NAME tarnwick.com.register COMMAND ${TARNWICK_WINE} regsvr32 /s ${tarnwick_dll_windows})
  add_test(NAME tarnwick.com.unregister
           COMMAND ${TARNWICK_WINE} regsvr32 /s /u ${tarnwick_dll_windows})
  add_test(NAME tarnwick.com.unregistered COMMAND tarnwick_com_tests --gtest_filter=Unregistered.*)
  set_tests_properties(tarnwick.com.register PROPERTIES FIXTURES_SETUP tarnwick_com
                       FIXTURES_REQUIRED tarnwick_wine)
  set_tests_properties(tarnwick.com.unregister PROPERTIES FIXTURES_CLEANUP tarnwick_com
                       FIXTURES_SETUP tarnwick_com_gone FIXTURES_REQUIRED tarnwick_wine)
  # A wrong answer may wait on a prompt that Wine cannot show: a minute, not five.
  set_tests_properties(tarnwick.com.client PROPERTIES FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com"
                       ENVIRONMENT "WINEPREFIX=${TARNWICK_WINEPREFIX}" SKIP_RETURN_CODE 77 TIMEOUT 60)
  set_tests_properties(tarnwick.com.unregistered PROPERTIES
                       FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com_gone" SKIP_RETURN_CODE 77)
endif()

# Nothing but system DLLs: the C++ runtime is linked in.
add_test(NAME tarnwick.com.imports
         COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:tarnwick_com>
                 -DOBJDUMP=${TARNWICK_MINGW_TRIPLET}-objdump
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_imports.cmake)
