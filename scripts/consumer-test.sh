#!/usr/bin/env bash
# Corvid as a library of another project. Builds the kind of library the
# sanitizer suite does not use (shared), installs it into a fresh prefix,
# and builds and runs the application in tests/consumer against it: with
# CMake's find_package and with pkg-config. Then builds the same application
# with Corvid's sources inside (add_subdirectory, static libraries). Every
# public header must compile on its own from the installed tree, and the
# SQLite-only application must not need libpq.
set -euo pipefail
cd "$(dirname "$0")/.."

work=${CONSUMER_BUILD_DIR:-build-consumer}
rm -rf "$work"
mkdir -p "$work"
prefix=$PWD/$work/prefix
flags=(-std=c++20 -Wall -Wextra -Wshadow -Werror)
jobs=$(nproc)
step() { echo "== $1 ($(( SECONDS - started )) s so far)"; }
started=$SECONDS

step "shared library: configure, build, install"
cmake -S . -B "$work/corvid" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
      -DCORVID_BUILD_TESTS=OFF -DCORVID_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
      >/dev/null
cmake --build "$work/corvid" --parallel "$jobs"
cmake --install "$work/corvid" >/dev/null

# No header of the source tree's internals may be installed or reached:
# of the drivers only their public headers, and no installed header names
# sqlite3's or libpq's own header.
if [ -e "$prefix/include/corvid/persist/ObjPerstInternal.h" ]; then
  echo "FAILED: internal header persist/ObjPerstInternal.h installed"; exit 1
fi
for header in $(cd "$prefix/include/corvid" && find drivers -name '*.h' | sort); do
  case "$header" in
    drivers/sqlite/SQLiteDriver.h | drivers/postgresql/PostgreSQLDriver.h) ;;
    *) echo "FAILED: internal header $header installed"; exit 1 ;;
  esac
done
if grep -rlE '#include [<"](sqlite3|libpq-fe)\.h' "$prefix/include/corvid"; then
  echo "FAILED: an installed header includes sqlite3's or libpq's header"; exit 1
fi
step "every installed header compiles on its own"
qt_flags=$(pkg-config --cflags Qt6Widgets)
for header in $(cd "$prefix/include" && find corvid -name '*.h' | sort); do
  extra=()
  case "$header" in corvid/components/*) read -ra extra <<<"$qt_flags -fPIC" ;; esac
  echo "#include <$header>" | g++ "${flags[@]}" -fsyntax-only -I"$prefix/include" "${extra[@]}" \
      -x c++ - || { echo "FAILED: $header does not compile on its own"; exit 1; }
done

step "consumer against the installed package (find_package)"
cmake -S tests/consumer -B "$work/installed" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="${flags[*]}" >/dev/null
cmake --build "$work/installed"
"$work/installed/demo"

# The SQLite-only application: its own driver library, no libpq.
check_deps() {
  local program=$1
  if ldd "$program" | grep -q libpq; then
    echo "FAILED: $program needs libpq:"; ldd "$program"; exit 1
  fi
  local stripped
  stripped=$(mktemp)
  strip -o "$stripped" "$program"
  echo "$program: $(ldd "$program" | wc -l) shared objects, no libpq;" \
       "$(stat -c %s "$stripped") bytes stripped"
  rm -f "$stripped"
}
check_deps "$work/installed/demo"
readelf -d "$work/installed/demo" | grep -q 'NEEDED.*libcorvid_sqlite' ||
  { echo "FAILED: the driver library was dropped from the link"; exit 1; }

step "consumer through pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ "${flags[@]}" -o "$work/pkgconfig-demo" tests/consumer/main.cpp \
    -I"$work/installed/corvid_generated/demo" $(pkg-config --cflags --libs corvid-sqlite) \
    -Wl,-rpath,"$prefix/lib"
"$work/pkgconfig-demo"
check_deps "$work/pkgconfig-demo"

step "consumer with Corvid's sources inside (add_subdirectory, static)"
cmake -S tests/consumer -B "$work/subdir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCORVID_SOURCE_DIR="$PWD" >/dev/null
cmake --build "$work/subdir" --parallel "$jobs"
"$work/subdir/demo"
check_deps "$work/subdir/demo"
step "done"
