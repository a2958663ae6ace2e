# What the two MinGW-w64 toolchain files share; each sets
# CMAKE_SYSTEM_PROCESSOR and TARNWICK_MINGW_TRIPLET first.
#
# The -posix compilers use the winpthreads threading model, which gives
# std::mutex and std::thread (GoogleTest needs them). Everything is linked
# statically, so the programs need nothing but system DLLs and run in a bare
# Wine prefix or on a bare Windows.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TARNWICK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNWICK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNWICK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNWICK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs of the build (test discovery at build time, ctest) run under Wine
# in a prefix of this build directory's own, never the user's ~/.wine, with
# the Wine loader of the build's bitness.
if(TARNWICK_MINGW_TRIPLET MATCHES "^x86_64-")
  set(TARNWICK_WINE_BITS --64)
else()
  set(TARNWICK_WINE_BITS --32)
endif()
set(TARNWICK_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run;${TARNWICK_WINE_BITS};${TARNWICK_WINEPREFIX}")
