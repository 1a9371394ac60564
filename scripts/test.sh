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

# Fuzz every target in fuzz/ for a bounded time: clang's libFuzzer in its own
# build directory (which also proves that the whole project builds with
# clang). The object-stream reader runs a minute, seeded with valid records
# of every library class and the inputs that once failed; the others 20 s.
# A crash, a leak, a sanitizer report or an unexpected exception fails.
fuzz_build=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DCORVID_BUILD_FUZZ=ON -DCORVID_BUILD_TESTS=OFF \
      -DCORVID_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$fuzz_build" --parallel "$(nproc)"
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  case "$name" in
    ReadObjectFuzz) seconds=60 ;;
    *) seconds=20 ;;
  esac
  mkdir -p "$fuzz_build/corpus/$name"
  seeds=()
  for dir in "fuzz/corpus/$name" "fuzz/regressions/$name"; do
    if [ -d "$dir" ]; then seeds+=("$dir"); fi
  done
  echo "== fuzzing $name for ${seconds}s"
  "$fuzz_build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      "$fuzz_build/corpus/$name" "${seeds[@]}"
done

# Corvid used by another project: the shared library installed and found
# with find_package and pkg-config, and the sources built inside it.
bash scripts/consumer-test.sh

# Test fixtures that need a PostgreSQL server start a private one.
if [ -x scripts/pg-test-server.sh ]; then
  eval "$(scripts/pg-test-server.sh start "$PWD/$build/pgdata")"
  trap 'scripts/pg-test-server.sh stop "$PWD/$build/pgdata"' EXIT
fi

# Last, so that the test runner's summary closes the output.
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
