#!/bin/sh
# Builds the benchmarks in Release and runs them.
#   bench/run.sh [--short] [benchmark flags...]
# Without --short each benchmark runs 9 times and the mean, median, standard
# deviation, least and largest of the 9 are reported. --short runs each once
# for a minimum of 0.05 s, as CI wants.
# PLAKURO_BENCH_BUILD_DIR overrides the build folder (default build-bench/).
set -e
cd "$(dirname "$0")/.."
BUILD="$(./bench/build.sh bench_plakuro)"
if [ "$1" = "--short" ]; then
    shift
    # libbenchmark 1.7 takes the minimum time as plain seconds.
    set -- --benchmark_min_time=0.05 "$@"
else
    set -- --benchmark_repetitions=9 --benchmark_report_aggregates_only=true "$@"
fi
QT_QPA_PLATFORM=offscreen exec "$BUILD/bench/bench_plakuro" "$@"
