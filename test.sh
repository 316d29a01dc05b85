#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
ZELKORA_ROOT=$(cd "$(dirname "$0")" && pwd)
export ZELKORA_ROOT
. "$ZELKORA_ROOT/tools/setup.sh"

zelkora_install_packages
zelkora_build "$ZELKORA_ROOT/build"

export QT_QPA_PLATFORM=offscreen
(cd "$ZELKORA_ROOT/build" && ctest --output-on-failure --timeout 300 -j "$(nproc)") |
    tee "$ZELKORA_ROOT/build/ctest-summary.txt"

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer. Reports go to files as
# well as aborting the process, so one from a helper process whose exit nobody checks still
# fails the run. The build already runs test binaries (test discovery), hence the early export.
sanitizer_logs="$ZELKORA_ROOT/build-asan/sanitizer-reports"
rm -rf "$sanitizer_logs" && mkdir -p "$sanitizer_logs"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:log_exe_name=1:log_path=$sanitizer_logs/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_exe_name=1:log_path=$sanitizer_logs/ubsan"
export LSAN_OPTIONS="suppressions=$ZELKORA_ROOT/tools/lsan.supp:print_suppressions=0"
zelkora_build "$ZELKORA_ROOT/build-asan" -DZELKORA_SANITIZE=ON
asan_rc=0
(cd "$ZELKORA_ROOT/build-asan" && ctest --output-on-failure --timeout 600 -j "$(nproc)") |
    tee "$ZELKORA_ROOT/build-asan/ctest-summary.txt" || asan_rc=$?
if [ -n "$(ls -A "$sanitizer_logs")" ]; then
    echo "Sanitizer reports:"
    cat "$sanitizer_logs"/*
    asan_rc=1
fi
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
[ "$asan_rc" -eq 0 ] || exit "$asan_rc"

# libFuzzer targets, about 20 seconds each; any finding fails the run.
"$ZELKORA_ROOT/fuzz/run.sh" 20

# One closing line for both CTest runs, so the summary is the last thing printed.
passed=0
for f in "$ZELKORA_ROOT/build/ctest-summary.txt" "$ZELKORA_ROOT/build-asan/ctest-summary.txt"; do
    n=$(sed -n 's/^100% tests passed, 0 tests failed out of \([0-9]*\)$/\1/p' "$f")
    passed=$((passed + ${n:-0}))
done
echo "tests: $passed passed, 0 failed"
