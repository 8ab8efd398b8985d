#!/usr/bin/env bash
# Set-up, build and the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh

jobs=$(nproc)
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENDO_SANITIZE=ON
cmake --build "$build" -j "$jobs"

# The checked-in format and the one-way layering are part of the build.
git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror
./tools/check-layers.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$jobs"
