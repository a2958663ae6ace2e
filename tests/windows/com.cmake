# Tarnwick.dll and the Windows backend under Wine (which maps the Unix root to Z:).
add_executable(tarnwick_com_tests windows/com_test.cpp support/recorder_reader.cpp)
target_include_directories(tarnwick_com_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                                      ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tarnwick_com_tests PRIVATE tarnwick tarnwick_idl_ids GTest::gtest_main
                                                 ole32 oleaut32 uuid)
target_compile_options(tarnwick_com_tests PRIVATE ${TARNWICK_WARNINGS})
# A folder with a link back to itself inside, which a search must not go round.
set(loop ${CMAKE_CURRENT_BINARY_DIR}/loop)
file(WRITE ${loop}/a.sid "1")
file(WRITE ${loop}/sub/b.sid "22")
file(CREATE_LINK ${loop} ${loop}/sub/up SYMBOLIC)
target_compile_definitions(tarnwick_com_tests PRIVATE TARNWICK_LOOP="Z:${loop}"
                           TARNWICK_DLL="$<TARGET_FILE:tarnwick_com>"
                           TARNWICK_RECORDER="$<TARGET_FILE:tarnwick_recorder>")
add_dependencies(tarnwick_com_tests tarnwick_com tarnwick_recorder)

add_test(NAME tarnwick.com.client COMMAND tarnwick_com_tests)
# A wrong answer may wait on a prompt that Wine cannot show: a minute, not five.
set_tests_properties(tarnwick.com.client PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60
                                                    ${TARNWICK_TEST_PROPERTIES})
