#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for a bounded time,
# starting from the committed seed corpus, two at a time. Any finding fails the run; the
# input that caused it is kept in build-fuzz/artifacts/.
#   fuzz/run.sh [seconds per target]      (default 20)
# Prints, and keeps in build-fuzz/fuzz-stats.txt, the number of inputs each target ran.
set -euo pipefail
ZELKORA_ROOT=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build="$ZELKORA_ROOT/build-fuzz"
targets=(numberrule_fuzz projectfile_fuzz settingsfile_fuzz engine_fuzz projectjson_fuzz telnet_fuzz)

CC=clang CXX=clang++ cmake -S "$ZELKORA_ROOT/fuzz" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$ZELKORA_ROOT/tools/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

run_one() {
    local t=$1 seeds="$ZELKORA_ROOT/fuzz/corpus/${1%_fuzz}"
    # New inputs go to the first folder, so the committed seeds stay as they are.
    mkdir -p "$build/corpus/$t" "$build/artifacts"
    "$build/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "$seeds" >"$build/$t.log" 2>&1
}

pids=()
failed=0
for t in "${targets[@]}"; do
    run_one "$t" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$(nproc)" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do
    wait "$p" || failed=1
done

: >"$build/fuzz-stats.txt"
for t in "${targets[@]}"; do
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$t.log")
    if grep -qE '^(==[0-9]+==ERROR|SUMMARY: |.*runtime error:|INFO: a leak has been found)' "$build/$t.log" ||
        [ -z "$runs" ]; then
        echo "FUZZ FINDING in $t (log: $build/$t.log):"
        tail -n 40 "$build/$t.log"
        failed=1
    fi
    printf '%-18s %10s inputs in %ss\n' "$t" "${runs:-?}" "$seconds" | tee -a "$build/fuzz-stats.txt"
done
exit "$failed"
