#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds
# over a copy of its committed seed corpus, with leak detection. A crash, a
# sanitizer report, a leak, memory beyond 512 MB (in all, or in one
# allocation) or one input running longer than the fuzzer's time limit fails
# the run; the input is left in the work folder.
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

# fuzz target : seed corpus folder under fuzz/corpus/ : time limit of one
# input in seconds (libFuzzer's -timeout, wall clock).
#
# The limits catch an input that takes seconds to draw or read under the
# sanitizers while a normal input takes a fraction of one. CPU time of one
# input under ASan (quarantine as below), measured on the 2-core machine:
# - fuzz_session: its seeds 0.04 to 0.2 s; a 40 KB photograph printed at
#   600 dpi front and back 0.5 s; the progressive JPEG bomb so printed 2 s.
#   The run-length bitmap of fuzz/make_seeds.py --slow (46 KB of escapes
#   that move nowhere) takes 5 s a page at 600 dpi: caught, front and back.
# - fuzz_picture: its seeds under 20 ms; the largest picture an import
#   takes (16 million pixels: a PNG, TIFF, GIF or WebP of a few kilobytes)
#   1.7 to 2.1 s, so 5 s.
# - fuzz_ini, fuzz_csv: milliseconds; 5 s as well.
# - fuzz_spreadsheet: its seeds milliseconds; an input is held to 2 MB of XML
#   (fuzz/fuzz_spreadsheet.cpp), well under a second; 5 s.
# - fuzz_cardfile draws every card at 2400 dpi: its seeds take 0.25 to 0.5 s,
#   but jpeg_bomb.pkd (twenty pictures claiming 8192 x 4096 pixels, each
#   decoded at full size) takes 10.5 s, so its limit stays 25 s (the --slow
#   card takes longer still). A draw of a few seconds is caught instead by
#   fuzz_session, which draws the same cards at 600 dpi.
FUZZERS="fuzz_cardfile:card:25 fuzz_session:session:5 fuzz_picture:picture:5 fuzz_ini:ini:5 \
fuzz_csv:csv:5 fuzz_spreadsheet:spreadsheet:5"

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
    rest="${entry#*:}"
    corpus="${rest%%:*}"
    timeout="${rest#*:}"
    dir="$WORK/$target"
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp "$ROOT/fuzz/corpus/$corpus"/* "$dir/corpus/"
    echo "== $target for ${SECONDS_EACH}s (seed $SEED, ${timeout}s an input)"
    if ! "$BUILD/fuzz/$target" "$dir/corpus" -max_total_time="$SECONDS_EACH" -seed="$SEED" \
        -max_len=65536 -detect_leaks=1 -timeout="$timeout" -rss_limit_mb=512 -malloc_limit_mb=512 \
        -artifact_prefix="$dir/artifacts/" -print_final_stats=1 >"$dir/log" 2>&1; then
        tail -n 60 "$dir/log"
        echo "FAILED: $target (inputs in $dir/artifacts/)"
        exit 1
    fi
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$dir/log" || true
done
echo "Fuzzers ran clean."
