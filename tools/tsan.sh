#!/usr/bin/env bash
# Builds the engine tests with ThreadSanitizer and runs the tests where threads of one process
# share tables (sessions of their own on one table). Not part of ./test.sh: a build of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install-deps.sh
build=build/tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENDO_TSAN=ON -DZENDO_BUILD_GUI=OFF
cmake --build "$build" -j "$(nproc)" --target cursor_tests lexicon_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$build/tests/cursor_tests" --gtest_filter='*Threads*' "$@"
# The word services build their indexes on worker threads in sessions of their own.
"$build/tests/lexicon_tests" --gtest_filter='LexiconTest.*'
