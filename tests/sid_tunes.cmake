# The tunes shipped in examples/tunes/: exactly what their generator makes,
# read by the PSID header tests (with libsidplayfp as a second reader), the
# music player tests and the tarnwick command.
set(TARNWICK_TUNES_DIR ${PROJECT_SOURCE_DIR}/examples/tunes)
target_sources(tarnwick_unit_tests PRIVATE unit/sid_header_test.cpp)
add_executable(tarnwick_make_tunes ${TARNWICK_TUNES_DIR}/make_tunes.cpp)
target_compile_options(tarnwick_make_tunes PRIVATE ${TARNWICK_WARNINGS})
add_test(NAME ShippedTunes.AreWhatTheGeneratorMakes
  COMMAND tarnwick_make_tunes --check ${TARNWICK_TUNES_DIR})
if(WIN32)
  set_tests_properties(ShippedTunes.AreWhatTheGeneratorMakes PROPERTIES
    FIXTURES_REQUIRED tarnwick_wine SKIP_RETURN_CODE 77)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSIDPLAYFP REQUIRED IMPORTED_TARGET libsidplayfp)
  target_link_libraries(tarnwick_fault_tests PRIVATE PkgConfig::LIBSIDPLAYFP)
  foreach(t tarnwick_posix_tests tarnwick_fault_tests)
    target_compile_definitions(${t} PRIVATE TARNWICK_TUNES="${TARNWICK_TUNES_DIR}")
  endforeach()
  if(TARGET tarnwick_cli)
    add_test(NAME Cli.SidInfoPrintsOneJsonObjectPerTune
      COMMAND tarnwick_cli sid info --json ${TARNWICK_TUNES_DIR}/sampler.sid
              ${TARNWICK_TUNES_DIR}/twinkle.sid)
    set_tests_properties(Cli.SidInfoPrintsOneJsonObjectPerTune PROPERTIES PASS_REGULAR_EXPRESSION
      "\"name\":\"Tarnwick Sampler\",[^\n]*\"songs\":5,\"defaultSong\":3}\n[^\n]*\"author\":\"Tarnwick, après Mozart\"")
    add_test(NAME Cli.SidInfoFailsOnAnOverflowingHeader
      COMMAND tarnwick_cli sid info ${TARNWICK_TUNES_DIR}/edge/songs-overflow.sid)
    set_tests_properties(Cli.SidInfoFailsOnAnOverflowingHeader PROPERTIES WILL_FAIL TRUE)
  endif()
endif()
