#!/usr/bin/env bash
# Long fuzzing runs: builds the fuzz preset, runs every target (or those
# named) for SECONDS each, JOBS at a time, each on a corpus of its own in
# build/fuzz/long/, then merges what reached new code into the saved corpora
# in fuzz/corpus/ and prints executions and coverage per target.
#   scripts/fuzz.sh [--seconds N] [--jobs N] [TARGET...]
# A target that crashes or breaks a check stops with its input kept in
# build/fuzz/artifacts/ and this script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600 jobs=2
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(sid_header config_file command_line variant name_pattern registry_keys)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
root=$PWD build=$PWD/build/fuzz
mkdir -p "$build/long" "$build/artifacts"

run() {
    local t=$1 corpus=$build/long/$1 log=$build/long/$1.log files
    mkdir -p "$corpus"
    files=$(mktemp -d)
    # New inputs go to the first folder, the long run's own corpus; the
    # saved one is read only.
    TARNWICK_FUZZ_TMP=$files "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
        "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1
    local status=$?
    rm -rf "$files"
    if [ $status -eq 0 ]; then echo "$t: done"; else echo "$t: FAILED (see $log)"; return 1; fi
}
export -f run
export root build seconds
status=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run {}' || status=1

printf '\n%-15s %12s %10s %8s %8s %8s\n' target executions exec/s cov ft corpus
for t in "${targets[@]}"; do
    log=$build/long/$t.log
    units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    # What reached new code joins the saved corpus, in its smallest form.
    (cd "$build/long" && TARNWICK_FUZZ_TMP=$(mktemp -d) "$build/fuzz/${t}_fuzz" -merge=1 \
        "$root/fuzz/corpus/$t" "$build/long/$t" >"$build/long/$t.merge.log" 2>&1)
    printf '%-15s %12s %10s %8s %8s %8s\n' "$t" "${units:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
        "$(ls "$root/fuzz/corpus/$t" | wc -l)"
done
exit $status
