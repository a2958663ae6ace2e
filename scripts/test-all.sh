#!/usr/bin/env bash
# Builds every preset and runs every test: Linux, Linux with the sanitizers,
# the fuzz targets (a short run of each over its saved corpus),
# the 32- and 64-bit Windows builds under Wine, and the packages (the Debian
# package and the shared library, each used by a program built against it).
# Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== style"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror "${sources[@]}"
echo "== layers"
scripts/check-layers.sh
echo "== size of the tests"
scripts/test-size.sh

presets=(linux linux-sanitize fuzz windows-x86 windows-x64)
if [ $# -gt 0 ]; then presets=("$@"); fi
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
    case $preset in
        linux | windows-*)
            echo "== packages ($preset)"
            tests/package/check.sh "build/$preset"
            ;;
    esac
done
echo "All presets built and passed: ${presets[*]}"
