#!/usr/bin/env bash
# Installs what is missing, builds Corvid and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVID_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target corvid_demo
"$build/demo"
