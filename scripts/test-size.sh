#!/usr/bin/env bash
# The size rule of the tests: the non-blank lines of the tests (tests/ and
# fuzz/) stay at most 0.35 times those of the code (src/, include/, cli/).
# Counts the sources and build files that people read and keep: *.cpp *.h *.c
# *.idl *.vbs *.cmake CMakeLists.txt *.sh; saved data (fuzz/corpus/, tunes)
# does not count. Prints the lines per folder and the ratio; fails above the
# limit.
#
#   scripts/test-size.sh [LIMIT]     (default 0.35)
set -euo pipefail
cd "$(dirname "$0")/.."
limit=${1:-0.35}

# Non-blank lines per folder of the counted files under the given folders
# (tracked or new, not ignored), then the sum on a line "total N".
count() {
    git ls-files --cached --others --exclude-standard -- "$@" |
        grep -E '(\.(cpp|h|c|idl|vbs|cmake|sh)|(^|/)CMakeLists\.txt)$' |
        grep -v '/corpus/' |
        while IFS= read -r f; do
            [ -f "$f" ] || continue
            printf '%s %d\n' "$(dirname "$f")" "$(grep -cv '^[[:space:]]*$' "$f" || true)"
        done |
        awk '{ n[$1] += $2; t += $2 } END { for (d in n) printf "  %-28s %6d\n", d "/", n[d] | "sort >&2"; print "total", t + 0 }'
}

echo "code:" >&2
code=$(count src include cli | awk '/^total/ { print $2 }')
echo "tests:" >&2
tests=$(count tests fuzz | awk '/^total/ { print $2 }')
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }')
echo "tests $tests / code $code = $ratio (limit $limit)"
awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r <= l) }' || {
    echo "test-size: the tests outweigh the rule: merge cases into tables or drop ones that restate the code" >&2
    exit 1
}
