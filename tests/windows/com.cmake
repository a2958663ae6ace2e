# Tarnwick.dll and the Windows backend under Wine (which maps the Unix root to Z:).
tarnwick_test(tarnwick_com_tests windows/com_test.cpp)
target_link_libraries(tarnwick_com_tests PRIVATE tarnwick_idl_ids ole32 oleaut32 uuid)
# A folder with a link back to itself inside, which a search must not go round.
set(loop ${CMAKE_CURRENT_BINARY_DIR}/loop)
file(WRITE ${loop}/a.sid "1")
file(WRITE ${loop}/sub/b.sid "22")
file(CREATE_LINK ${loop} ${loop}/sub/up SYMBOLIC)
target_compile_definitions(tarnwick_com_tests PRIVATE TARNWICK_LOOP="Z:${loop}"
  TARNWICK_DLL="$<TARGET_FILE:tarnwick_com>" TARNWICK_RECORDER="$<TARGET_FILE:tarnwick_recorder>")
add_dependencies(tarnwick_com_tests tarnwick_com tarnwick_recorder)
# cscript on the DLL regsvr32 registered; it exits 0 even on errors: only its last line passes.
if(TARNWICK_WINE_CAN_RUN)
  add_test(NAME tarnwick.com.register COMMAND ${wine} regsvr32 /s "Z:$<TARGET_FILE:tarnwick_com>")
  add_test(NAME tarnwick.com.vbscript COMMAND ${wine} cscript //nologo
           "Z:${CMAKE_CURRENT_SOURCE_DIR}/windows/script_clients.vbs")
  set_tests_properties(tarnwick.com.register PROPERTIES FIXTURES_SETUP tarnwick_com
                       FIXTURES_REQUIRED tarnwick_wine)
  set_tests_properties(tarnwick.com.vbscript PROPERTIES FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com"
                       PASS_REGULAR_EXPRESSION "all checks passed" FAIL_REGULAR_EXPRESSION "FAIL|skipped")
endif()
