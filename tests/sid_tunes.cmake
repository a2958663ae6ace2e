# SID tunes: the PSID header methods and the music player launch, the
# generator of the tunes shipped in examples/tunes/, the tarnwick command on
# them, and a second PSID reader to check ours against.
set(TARNWICK_TUNES_DIR ${PROJECT_SOURCE_DIR}/examples/tunes)

target_sources(tarnwick_unit_tests PRIVATE
  unit/sid_header_test.cpp
)

# The generator; the test checks that the shipped files are exactly what it
# makes.
add_executable(tarnwick_make_tunes ${TARNWICK_TUNES_DIR}/make_tunes.cpp)
target_compile_options(tarnwick_make_tunes PRIVATE ${TARNWICK_WARNINGS})
add_test(NAME ShippedTunes.AreWhatTheGeneratorMakes
  COMMAND tarnwick_make_tunes --check ${TARNWICK_TUNES_DIR})
if(WIN32)
  set_tests_properties(ShippedTunes.AreWhatTheGeneratorMakes PROPERTIES
    FIXTURES_REQUIRED tarnwick_wine SKIP_RETURN_CODE 77)
endif()

if(NOT WIN32)
  # Real files, the recorder standing in for a player, the real sidplayfp.
  target_sources(tarnwick_posix_tests PRIVATE
    posix/sid_header_test.cpp
  )
  target_compile_definitions(tarnwick_posix_tests PRIVATE
    TARNWICK_TUNES="${TARNWICK_TUNES_DIR}")

  # Debian's libsidplayfp reads the shipped tunes as we do.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSIDPLAYFP REQUIRED IMPORTED_TARGET libsidplayfp)
  tarnwick_test(tarnwick_sid_crosscheck_tests posix/sid_crosscheck_test.cpp)
  target_link_libraries(tarnwick_sid_crosscheck_tests PRIVATE PkgConfig::LIBSIDPLAYFP)
  target_compile_definitions(tarnwick_sid_crosscheck_tests PRIVATE
    TARNWICK_TUNES="${TARNWICK_TUNES_DIR}")

  # The tarnwick command on the shipped tunes.
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
