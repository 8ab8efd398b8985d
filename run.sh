#!/usr/bin/env bash
# Set-up and build of the programs; starts ZENDO once its window exists.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"

echo "The ZENDO window is not built yet: the engine and its tools are in $build."
exit 0
