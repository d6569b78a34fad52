#!/usr/bin/env bash
# Runs every test: the portable core natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, and the
# Windows binaries under Wine (fresh prefix, Xvfb display).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || exit 1
source scripts/winenv.sh

jobs=${QP_JOBS:-2}
fuzz_seconds=${QP_FUZZ_SECONDS:-20}
passed=0
failed=0
log=$(mktemp)

# Adds the counts of one ctest run to the totals.
count_ctest() {
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  local bad total
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

stage() {
  local name=$1; shift
  echo "== $name"
  if ! "$@"; then
    echo "== $name: FAILED"
    failed=$((failed + 1))
    return 1
  fi
}

run_ctest() {
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
  count_ctest
}

# 1. Native core under the sanitizers (g++).
if stage "native configure" cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DQP_SANITIZE=ON >/dev/null &&
   stage "native build" cmake --build build/native -j "$jobs"; then
  echo "== native tests"
  run_ctest build/native -j "$jobs"
fi

# 2. Fuzz targets (clang, libFuzzer), each over its seed corpus and then for a bounded time.
if stage "fuzz configure" cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQP_FUZZ=ON -DQP_FUZZ_SECONDS="$fuzz_seconds" >/dev/null &&
   stage "fuzz build" cmake --build build/fuzz -j "$jobs"; then
  echo "== fuzz runs (${fuzz_seconds}s each)"
  run_ctest build/fuzz -j "$jobs"
fi

# 3. Windows binaries under Wine.
if stage "windows configure" cmake -S . -B build/win -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null &&
   stage "windows build" cmake --build build/win -j "$jobs"; then
  if stage "wine prefix" qp_wine_start "$root/build/win/wineprefix"; then
    echo "== windows tests under Wine"
    # One at a time: the shared region, the registry and the desktop are global to the prefix.
    run_ctest build/win -j 1 --timeout 300
    qp_wine_stop
  fi
fi

rm -f "$log"
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
