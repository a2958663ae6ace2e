#!/usr/bin/env bash
# The packages as a user gets them: the Debian package of a Linux build
# (lintian finds no error; unpacked into a scratch root, its command runs and
# a program builds against it through pkg-config and through CMake), and the
# shared library (its SONAME, only the public API exported, the same two
# ways of building against it).
#
#   tests/package/check.sh BUILD_DIR      (a configured and built linux preset)
#
# Given a Windows build folder instead, it checks the zip of that build:
# Tarnwick.dll, tarnwick.exe, the README and the licence, nothing else.
set -euo pipefail
build=$(realpath "$1")
here=$(realpath "$(dirname "$0")")
source=$(realpath "$here/../..")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Builds the consumer against the installed tree at $1 both ways and runs it.
consume() {
    local root=$1 kind=$2 libdir pc
    pc=$(dirname "$(find "$root" -name tarnwick.pc | head -n1)")
    libdir=$(dirname "$pc")
    local static=()
    [ "$kind" = static ] && static=(--static)
    # shellcheck disable=SC2046 # the flags are words
    g++ -std=c++20 "$here/consumer.cpp" -o "$scratch/pc-$kind" \
        $(PKG_CONFIG_PATH=$pc pkg-config "${static[@]}" --cflags --libs tarnwick)
    LD_LIBRARY_PATH=$libdir "$scratch/pc-$kind" >/dev/null || { echo "pkg-config consumer ($kind) failed" >&2; exit 1; }
    cmake -S "$here" -B "$scratch/cmake-$kind" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr;$root" >/dev/null
    cmake --build "$scratch/cmake-$kind" >/dev/null
    LD_LIBRARY_PATH=$libdir "$scratch/cmake-$kind/consumer" >/dev/null || { echo "CMake consumer ($kind) failed" >&2; exit 1; }
    echo "package: a program builds and runs against the $kind library (pkg-config, CMake)"
}

if grep -q 'set(CPACK_GENERATOR "ZIP")' "$build/CPackConfig.cmake"; then
    (cd "$build" && rm -f tarnwick-*.zip && cpack -G ZIP >/dev/null)
    unzip -Z1 "$build"/tarnwick-*.zip | grep -v '/$' | sort >"$scratch/contents"
    printf '%s\n' bin/Tarnwick.dll bin/tarnwick.exe share/doc/tarnwick/LICENSE \
        share/doc/tarnwick/README.md | diff -u - "$scratch/contents" >&2 ||
        { echo "package: the Windows zip holds other files than these" >&2; exit 1; }
    echo "package: the Windows zip holds the server, the command, the README and the licence"
    exit 0
fi

# The Debian package.
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarnwick_*.deb)
lintian --fail-on error "$deb"
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$scratch/contents"
for f in ./usr/bin/tarnwick ./usr/include/tarnwick/tarnwick.h ./usr/share/doc/tarnwick/copyright \
    ./usr/share/man/man1/tarnwick.1.gz ./usr/share/bash-completion/completions/tarnwick; do
    grep -qx "$f" "$scratch/contents" || { echo "package: $f missing from $deb" >&2; exit 1; }
done
dpkg -x "$deb" "$scratch/deb"
"$scratch/deb/usr/bin/tarnwick" --help >/dev/null
# The manual page renders with a section per subcommand.
man -l "$scratch/deb/usr/share/man/man1/tarnwick.1.gz" 2>/dev/null | grep -q '^   find-files$' ||
    { echo "package: the manual page has no find-files section" >&2; exit 1; }
consume "$scratch/deb" static

# The shared library.
cmake -S "$source" -B "$scratch/shared-build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_SHARED_LIBS=ON -DTARNWICK_BUILD_CLI=OFF -DTARNWICK_BUILD_BENCH=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$scratch/shared-build" >/dev/null
DESTDIR="$scratch/shared" cmake --install "$scratch/shared-build" >/dev/null
so=$(find "$scratch/shared" -name 'libtarnwick.so.2.*' | head -n1)
readelf -d "$so" | grep -q 'SONAME.*\[libtarnwick\.so\.2\]' || { echo "package: no SONAME libtarnwick.so.2" >&2; exit 1; }
nm -DC --defined-only "$so" >"$scratch/symbols"
grep -q 'tarnwick::twFunctions::GetFileAndPath' "$scratch/symbols" || { echo "package: the public API is not exported" >&2; exit 1; }
if grep -E 'tarnwick::(Posix|Platform|platform|detail)' "$scratch/symbols" >&2; then
    echo "package: the shared library exports the names above, which are no public API" >&2
    exit 1
fi
consume "$scratch/shared" shared
