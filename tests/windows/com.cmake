# Tarnwick.dll under Wine: registration with regsvr32, the C++ client (by
# function table and IDispatch), VBScript through cscript, unregistration,
# and the DLL's imports.
set(tarnwick_dll $<TARGET_FILE:tarnwick_com>)
# Wine maps the Unix root to drive Z:.
set(tarnwick_dll_windows "Z:$<TARGET_FILE:tarnwick_com>")
set(wine ${TARNWICK_WINE})

add_executable(tarnwick_com_tests windows/com_test.cpp)
target_include_directories(tarnwick_com_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tarnwick_com_tests PRIVATE tarnwick_idl_ids GTest::gtest version ole32
                                                 oleaut32 uuid)
target_compile_options(tarnwick_com_tests PRIVATE ${TARNWICK_WARNINGS})
target_compile_definitions(tarnwick_com_tests PRIVATE
  TARNWICK_COM_DLL_PATH="${tarnwick_dll_windows}")
add_dependencies(tarnwick_com_tests tarnwick_com)

if(NOT TARNWICK_WINE_CAN_RUN)
  # The client reports itself skipped where the system cannot run it.
  add_test(NAME tarnwick.com.client COMMAND tarnwick_com_tests)
  set_tests_properties(tarnwick.com.client PROPERTIES FIXTURES_REQUIRED tarnwick_wine
                       SKIP_RETURN_CODE 77)
else()
  add_test(NAME tarnwick.com.register COMMAND ${wine} regsvr32 /s ${tarnwick_dll_windows})
  add_test(NAME tarnwick.com.client COMMAND tarnwick_com_tests)
  add_test(NAME tarnwick.com.unregister COMMAND ${wine} regsvr32 /s /u ${tarnwick_dll_windows})
  add_test(NAME tarnwick.com.unregistered COMMAND tarnwick_com_tests --expect-unregistered)
  set_tests_properties(tarnwick.com.register PROPERTIES FIXTURES_SETUP tarnwick_com
                       FIXTURES_REQUIRED tarnwick_wine)
  set_tests_properties(tarnwick.com.unregister PROPERTIES FIXTURES_CLEANUP tarnwick_com
                       FIXTURES_SETUP tarnwick_com_gone FIXTURES_REQUIRED tarnwick_wine)
  set_tests_properties(tarnwick.com.client PROPERTIES
                       FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com"
                       ENVIRONMENT "WINEPREFIX=${TARNWICK_WINEPREFIX}" SKIP_RETURN_CODE 77)
  set_tests_properties(tarnwick.com.unregistered PROPERTIES
                       FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com_gone" SKIP_RETURN_CODE 77)

  # Script clients. Wine's script host exits 0 even when a script stops on an
  # error, so a script passes only by printing its closing line.
  file(GLOB tarnwick_scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.vbs)
  foreach(script ${tarnwick_scripts})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME tarnwick.com.vbscript.${name}
             COMMAND ${wine} cscript //nologo "Z:${script}" "Z:${CMAKE_CURRENT_BINARY_DIR}")
    set_tests_properties(tarnwick.com.vbscript.${name} PROPERTIES
                         FIXTURES_REQUIRED "tarnwick_wine;tarnwick_com"
                         PASS_REGULAR_EXPRESSION "all checks passed"
                         FAIL_REGULAR_EXPRESSION "FAIL|skipped")
  endforeach()
endif()

# Nothing but system DLLs: the C++ runtime is linked in.
add_test(NAME tarnwick.com.imports
         COMMAND ${CMAKE_COMMAND} -DDLL=${tarnwick_dll}
                 -DOBJDUMP=${TARNWICK_MINGW_TRIPLET}-objdump
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_imports.cmake)
