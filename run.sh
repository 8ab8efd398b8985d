#!/usr/bin/env bash
# Set-up and build of the programs, a sample glossary beside the program, then ZENDO on it.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"

# ZENDO opens the table "datalar" in its own directory.
app_dir="$build/app"
if [ ! -f "$app_dir/datalar.dat" ]; then
    if [ ! -x tools/make-sample-glossary.sh ]; then
        echo "run.sh: tools/make-sample-glossary.sh is missing, so there is no sample glossary" >&2
        echo "in $app_dir; ZENDO would only say that it cannot find its table." >&2
        exit 1
    fi
    ./tools/make-sample-glossary.sh "$app_dir"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: ZENDO is built ($app_dir/zendo) with its sample glossary, but there is no" >&2
    echo "display to show its window on: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
    echo "Run $app_dir/zendo from a desktop session (or over ssh -X)." >&2
    exit 1
fi
exec "$app_dir/zendo"
