#!/bin/sh
# Sets up everything, builds Plakuro in Release and starts it.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
echo "Building Plakuro (Release) in build/ ..."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLAKURO_TESTS=OFF -DPLAKURO_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec ./build/src/app/plakuro "$@"
