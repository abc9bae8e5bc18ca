#!/usr/bin/env bash
# Runs each libFuzzer target (tests/fuzz/) for a given time and reports, per
# target, the executions, the time and the crashes (crash, leak, timeout and
# out-of-memory artifacts). The clang build is build/fuzz; new inputs go to
# build/fuzz-corpus/<target>, artifacts and logs to build/fuzz-artifacts/.
#
#   scripts/fuzz.sh [--merge] [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 300; the targets are scrambler, log and
# settings. --merge adds the inputs that reach new code to the corpus kept
# under tests/fuzz/corpus/<target>, which scripts/test.sh replays.
# Exits non-zero when any target crashed or reported a sanitizer error.
set -uo pipefail

# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$KV_ROOT" || exit 1

merge=0
if [ "${1:-}" = "--merge" ]; then
    merge=1
    shift
fi
seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(scrambler log settings)

kv_deps || exit 1
kv_log "fuzz: build (build/fuzz)"
kv_cmake_build "$KV_BUILD/fuzz" -DKV_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1

total=0
bad=0
rows=()
for t in "${targets[@]}"; do
    exe="$KV_BUILD/fuzz/tests/fuzz/fuzz_$t"
    work="$KV_BUILD/fuzz-corpus/$t"
    art="$KV_BUILD/fuzz-artifacts/$t"
    kept="$KV_ROOT/tests/fuzz/corpus/$t"
    mkdir -p "$work" "$art" "$kept"
    rm -f "$art"/crash-* "$art"/leak-* "$art"/timeout-* "$art"/oom-*
    kv_log "fuzz: $t for ${seconds}s"
    start=$SECONDS
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$art/" \
        "$work" "$kept" >"$art/run.log" 2>&1
    rc=$?
    took=$((SECONDS - start))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$art/run.log" | tail -n1)
    crashes=$(find "$art" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    # A sanitizer report or failed check without an artifact still counts.
    if [ "$rc" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi
    total=$((total + ${execs:-0}))
    bad=$((bad + crashes))
    rows+=("$(printf '%-10s %12s executions %6s s %3s crashes' "$t" "${execs:-?}" "$took" "$crashes")")
    if [ "$merge" -eq 1 ] && [ "$crashes" -eq 0 ]; then
        "$exe" -merge=1 "$kept" "$work" >"$art/merge.log" 2>&1 || kv_warn "merge of $t failed"
    fi
done

echo
echo "==================== fuzz ===================="
printf '  %s\n' "${rows[@]}"
echo "  total: $total executions, $bad crashes"
[ "$bad" -eq 0 ]
