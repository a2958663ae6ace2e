#!/usr/bin/env bash
# The layers of src/ point down only: a file may include from its own layer
# and the ones below it, never from one above.
#
#   core      src/core/                       value types, text, error numbers
#   platform  src/platform/ (and backends)    the system seam
#   behaviour src/shell/ src/functions/ src/registry/
#   com       src/com/                        the automation server
#
# The public headers (include/tarnwick/) stand beside core: anything may
# include them, and they include only each other.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
    case $1 in
    core/* | tarnwick/*) echo 0 ;;
    platform/*) echo 1 ;;
    shell/* | functions/* | registry/*) echo 2 ;;
    com/*) echo 3 ;;
    *) echo -1 ;;
    esac
}

status=0
while IFS= read -r file; do
    own=$(rank "${file#src/}")
    while IFS= read -r target; do
        # A name without a folder is the file's neighbour (same layer).
        [[ $target == */* ]] || continue
        theirs=$(rank "$target")
        if ((theirs > own)); then
            echo "$file includes \"$target\": a layer above its own" >&2
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src -name '*.cpp' -o -name '*.h' | sort)
while IFS= read -r file; do
    if grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | grep -v '"tarnwick/' >&2; then
        echo "$file: a public header includes a private one" >&2
        status=1
    fi
done < <(find include/tarnwick -name '*.h')
# No source file of src/ over 400 lines: a longer one holds more than one
# concern, and is split by them.
while IFS= read -r file; do
    lines=$(wc -l <"$file")
    if ((lines > 400)); then
        echo "$file: $lines lines, more than 400" >&2
        status=1
    fi
done < <(find src -name '*.cpp' -o -name '*.h' | sort)
[ $status = 0 ] && echo "layers: every include of src/ points down; no file over 400 lines"
exit $status
