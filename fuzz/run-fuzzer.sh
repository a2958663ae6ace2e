#!/usr/bin/env bash
# Runs one fuzz target for a fixed time over its saved corpus without
# changing it: new inputs go to a scratch folder that is removed afterwards.
# An input that crashes or breaks a check is kept in the artifacts folder.
#   run-fuzzer.sh TARGET CORPUS SECONDS ARTIFACTS [libFuzzer options...]
set -euo pipefail
target=$(realpath "$1") corpus=$(realpath "$2") seconds=$3
mkdir -p "$4"
artifacts=$(realpath "$4")
shift 4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The targets' own scratch files go there too, so that nothing is left
# behind even when a run stops at a crash.
mkdir "$scratch/new" "$scratch/files"
export TARNWICK_FUZZ_TMP="$scratch/files"
# Paths are absolute: some targets change the current directory.
"$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@" "$scratch/new" "$corpus"
