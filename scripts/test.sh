#!/usr/bin/env bash
# Builds Corvid with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer and runs the whole test suite. Any sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVID_SANITIZE=ON \
      -DCORVID_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# Fuzz the object-stream reader for a bounded minute: clang's libFuzzer in
# its own build directory, seeded with valid records of every library class.
# A crash, a leak, a sanitizer report or an unexpected exception fails.
fuzz_build=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DCORVID_BUILD_FUZZ=ON -DCORVID_BUILD_TESTS=OFF \
      -DCORVID_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$fuzz_build" --parallel "$(nproc)" --target fuzz_ReadObjectFuzz
mkdir -p "$fuzz_build/corpus/ReadObjectFuzz"
"$fuzz_build/fuzz/fuzz_ReadObjectFuzz" -max_total_time=60 -print_final_stats=1 \
    "$fuzz_build/corpus/ReadObjectFuzz" fuzz/corpus/ReadObjectFuzz \
    fuzz/regressions/ReadObjectFuzz

# Test fixtures that need a PostgreSQL server start a private one.
if [ -x scripts/pg-test-server.sh ]; then
  eval "$(scripts/pg-test-server.sh start "$PWD/$build/pgdata")"
  trap 'scripts/pg-test-server.sh stop "$PWD/$build/pgdata"' EXIT
fi

# Last, so that the test runner's summary closes the output.
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
