# The shipped tunes: exactly what their generator makes, and what the tarnwick command reads.
add_executable(tarnwick_make_tunes ${TARNWICK_TUNES_DIR}/make_tunes.cpp)
target_compile_options(tarnwick_make_tunes PRIVATE ${TARNWICK_WARNINGS})
add_test(NAME ShippedTunes.AreWhatTheGeneratorMakes
  COMMAND tarnwick_make_tunes --check ${TARNWICK_TUNES_DIR})
if(WIN32)
  set_tests_properties(ShippedTunes.AreWhatTheGeneratorMakes PROPERTIES
    FIXTURES_REQUIRED tarnwick_wine SKIP_RETURN_CODE 77)
elseif(TARGET tarnwick_cli)
  add_test(NAME Cli.SidInfoPrintsOneJsonObjectPerTune
    COMMAND tarnwick_cli sid info --json ${TARNWICK_TUNES_DIR}/sampler.sid
            ${TARNWICK_TUNES_DIR}/twinkle.sid)
  set_tests_properties(Cli.SidInfoPrintsOneJsonObjectPerTune PROPERTIES PASS_REGULAR_EXPRESSION
    "\"name\":\"Tarnwick Sampler\",[^\n]*\"songs\":5,\"defaultSong\":3}\n[^\n]*\"author\":\"Tarnwick, après Mozart\"")
  add_test(NAME Cli.SidInfoFailsOnAnOverflowingHeader
    COMMAND tarnwick_cli sid info ${TARNWICK_TUNES_DIR}/edge/songs-overflow.sid)
  set_tests_properties(Cli.SidInfoFailsOnAnOverflowingHeader PROPERTIES WILL_FAIL TRUE)
endif()
