#!/bin/sh
# Configures the Release build of the benchmarks and builds the given targets;
# prints the build folder. Used by the other scripts in this folder.
#   bench/build.sh TARGET...
# PLAKURO_BENCH_BUILD_DIR overrides the build folder (default build-bench/).
set -e
cd "$(dirname "$0")/.."
BUILD="${PLAKURO_BENCH_BUILD_DIR:-$PWD/build-bench}"
JOBS="$(nproc)"
[ "$JOBS" -gt 2 ] && JOBS=2
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPLAKURO_TESTS=OFF -DPLAKURO_BENCH=ON >/dev/null
cmake --build "$BUILD" --target "$@" -j"$JOBS" >&2
echo "$BUILD"
