#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds
# over a copy of its committed seed corpus, with leak detection. A crash, a
# sanitizer report, a leak or memory beyond 512 MB (in all, or in one
# allocation) fails the run; the input is left in the work folder.
#   fuzz/run.sh [SECONDS]      (default 60)
# PLAKURO_FUZZ_BUILD_DIR overrides the build folder (default build-fuzz/).
# PLAKURO_FUZZ_SEED fixes libFuzzer's random seed, so that a run can be
# repeated input for input; unset or 0 draws a new seed each run.
set -e
SECONDS_EACH="${1:-60}"
SEED="${PLAKURO_FUZZ_SEED:-0}"
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="${PLAKURO_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
WORK="$BUILD/work"
JOBS="$(nproc)"
[ "$JOBS" -gt 2 ] && JOBS=2

# fuzz target -> seed corpus folder under fuzz/corpus/
FUZZERS="fuzz_cardfile:card fuzz_ini:ini fuzz_csv:csv"

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPLAKURO_FUZZ=ON -DPLAKURO_TESTS=OFF -DPLAKURO_BENCH=OFF >/dev/null
targets=""
for entry in $FUZZERS; do
    targets="$targets ${entry%%:*}"
done
# shellcheck disable=SC2086
cmake --build "$BUILD" --target $targets -j"$JOBS"

export QT_QPA_PLATFORM=offscreen
# A small quarantine: freed decodings and card images held back by the
# sanitizer are its own cost, not the program's, and must not count against
# the memory limit below.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=32:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
if [ -f "$ROOT/scripts/lsan.supp" ]; then
    export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:${LSAN_OPTIONS:-}"
fi

for entry in $FUZZERS; do
    target="${entry%%:*}"
    corpus="${entry#*:}"
    dir="$WORK/$target"
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp "$ROOT/fuzz/corpus/$corpus"/* "$dir/corpus/"
    echo "== $target for ${SECONDS_EACH}s (seed $SEED)"
    if ! "$BUILD/fuzz/$target" "$dir/corpus" -max_total_time="$SECONDS_EACH" -seed="$SEED" \
        -max_len=65536 -detect_leaks=1 -timeout=25 -rss_limit_mb=512 -malloc_limit_mb=512 \
        -artifact_prefix="$dir/artifacts/" -print_final_stats=1 >"$dir/log" 2>&1; then
        tail -n 60 "$dir/log"
        echo "FAILED: $target (inputs in $dir/artifacts/)"
        exit 1
    fi
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$dir/log" || true
done
echo "Fuzzers ran clean."
