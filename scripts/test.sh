#!/usr/bin/env bash
# Builds Corvid with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer and runs the whole test suite. Any sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# The C++ files of the tree are laid out in the project's clang-format
# style; a file that is not fails the run before anything is built. To fix:
#   git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
echo "== clang-format"
if git rev-parse --git-dir >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h'
else
  find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0
fi | xargs -0 clang-format --dry-run -Werror

build=${BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVID_SANITIZE=ON \
      -DCORVID_BUILD_TESTS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"
# The reference: fails on an undocumented public class (docs/CMakeLists.txt).
cmake --build "$build" --target docs

# The checks of .clang-tidy over the tree's own files, when asked for
# (CORVID_TIDY=1): some 3.5 s of processor time a file, eight minutes for
# the whole tree, so not on every run.
if [ "${CORVID_TIDY:-0}" = 1 ]; then
  echo "== clang-tidy"
  run-clang-tidy-14 -p "$build" -j "$(nproc)" -quiet -extra-arg=-Wno-unknown-warning-option \
      "$PWD/(containers|values|persist|odb|drivers|util|wizard|components|tools|tests|examples)/"
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# A second, optimised build (-O2, no sanitizers) of everything, the
# benchmarks included, and a run of the demo program: some faults show only
# when the optimiser is at work.
o2_build=${O2_BUILD_DIR:-build-o2}
echo "== -O2 build"
cmake -S . -B "$o2_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVID_BUILD_TESTS=OFF \
      -DCORVID_BUILD_BENCH=ON >/dev/null
cmake --build "$o2_build" --parallel "$(nproc)"
(cd "$o2_build" && ./demo)

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
