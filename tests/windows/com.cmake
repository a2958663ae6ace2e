# Tarnwick.dll and the Windows backend under Wine (which maps the Unix root to Z:).
tarnwick_test(tarnwick_com_tests windows/com_test.cpp support/recorder_reader.cpp)
target_link_libraries(tarnwick_com_tests PRIVATE tarnwick_idl_ids ole32 oleaut32 uuid)
# A folder with a link back to itself inside, which a search must not go round.
set(loop ${CMAKE_CURRENT_BINARY_DIR}/loop)
file(WRITE ${loop}/a.sid "1")
file(WRITE ${loop}/sub/b.sid "22")
file(CREATE_LINK ${loop} ${loop}/sub/up SYMBOLIC)
target_compile_definitions(tarnwick_com_tests PRIVATE TARNWICK_LOOP="Z:${loop}"
                           TARNWICK_DLL="$<TARGET_FILE:tarnwick_com>"
                           TARNWICK_RECORDER="$<TARGET_FILE:tarnwick_recorder>")
add_dependencies(tarnwick_com_tests tarnwick_com tarnwick_recorder)
