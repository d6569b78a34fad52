#!/usr/bin/env bash
# Builds optimised and runs every benchmark program: natively, then the
# Windows ones under Wine. Prints figures; never part of the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/winenv.sh

cmake -S . -B build/bench-native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench-native -j 2 >/dev/null
cmake -S . -B build/bench-win -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build build/bench-win -j 2 >/dev/null

for b in build/bench-native/bench/*_bench; do
  echo "== $(basename "$b") (native)"
  "$b"
done

qp_wine_start "$root/build/bench-win/wineprefix"
for b in build/bench-win/bench/*_bench.exe; do
  echo "== $(basename "$b") (Wine)"
  (cd "$(dirname "$b")" && wine "$(basename "$b")")
done
