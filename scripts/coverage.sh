#!/usr/bin/env bash
# Line and branch coverage of src/ (the portable code and the Linux backend)
# over the whole Linux test suite: builds the coverage preset (clang's
# source-based coverage), runs every test, and reports with llvm-cov.
#   scripts/coverage.sh [ctest options...]
# Writes build/coverage/report.txt (per file), build/coverage/uncovered.txt
# (every line never run, by file) and build/coverage/html/.
set -euo pipefail
cd "$(dirname "$0")/.."

llvm_tool() {
    for candidate in "$1" "$1-14" "$1-15" "$1-16"; do
        if command -v "$candidate" >/dev/null; then echo "$candidate"; return; fi
    done
    echo "$1 not found (Debian package llvm)" >&2
    exit 1
}
profdata=$(llvm_tool llvm-profdata)
cov=$(llvm_tool llvm-cov)

build=build/coverage
cmake --preset coverage >/dev/null
cmake --build --preset coverage
rm -rf "$build/profiles"
mkdir -p "$build/profiles"
# A failing test still counts its coverage; the status is reported at the end.
status=0
ctest --preset coverage "$@" || status=$?

"$profdata" merge -sparse "$build"/profiles/*.profraw -o "$build/merged.profdata"
objects=()
while IFS= read -r binary; do
    if [ ${#objects[@]} -eq 0 ]; then objects+=("$binary"); else objects+=(-object "$binary"); fi
done < <(find "$build/tests" "$build/cli" -maxdepth 1 -type f -perm -u+x | sort)
# Only the library's own sources: not the tests, the command, GoogleTest or
# the system's headers.
ignore='/(tests|cli|bench|fuzz|examples|include|googletest)/|^/usr/'
"$cov" report "${objects[@]}" -instr-profile="$build/merged.profdata" \
    -ignore-filename-regex="$ignore" -show-branch-summary >"$build/report.txt"
"$cov" show "${objects[@]}" -instr-profile="$build/merged.profdata" \
    -ignore-filename-regex="$ignore" -format=html -output-dir="$build/html" >/dev/null
# Uncovered lines, as ranges per file, from the lcov export.
"$cov" export "${objects[@]}" -instr-profile="$build/merged.profdata" \
    -ignore-filename-regex="$ignore" -format=lcov |
    awk -F'[:,]' '
        /^SF:/ { file = substr($0, 4); sub(".*/src/", "src/", file) }
        /^DA:/ && $3 == 0 {
            if (file == last && $2 == end + 1) { end = $2; next }
            flush(); last = file; start = end = $2; next
        }
        function flush() { if (last != "") printf "%s:%d%s\n", last, start, (end > start ? "-" end : "") }
        END { flush() }' >"$build/uncovered.txt"
sed -n '1,2p;/^TOTAL/p' "$build/report.txt"
echo "Per file: $build/report.txt; lines never run: $build/uncovered.txt; pages: $build/html/index.html"
exit $status
