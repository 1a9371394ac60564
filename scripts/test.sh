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

# Test fixtures that need a PostgreSQL server start a private one.
if [ -x scripts/pg-test-server.sh ]; then
  eval "$(scripts/pg-test-server.sh start "$PWD/$build/pgdata")"
  trap 'scripts/pg-test-server.sh stop "$PWD/$build/pgdata"' EXIT
fi

ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
