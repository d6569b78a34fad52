#!/usr/bin/env bash
# The main job: builds the Windows deliverables into dist/ and lists them
# with the system DLLs each one imports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

cmake -S . -B build/dist -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build build/dist -j 2 >/dev/null

rm -rf dist
mkdir -p dist
built=()
for f in extension/vex.dll dlg/zot.exe standin/standin.exe standin/standin_ie.dll; do
  if [ -f "build/dist/$f" ]; then
    cp "build/dist/$f" dist/
    built+=("dist/$(basename "$f")")
  fi
done
if [ ${#built[@]} -eq 0 ]; then
  echo "run: nothing to put into dist/ yet" >&2
  exit 1
fi
echo "Built into dist/:"
bash scripts/check-imports.sh i686-w64-mingw32-objdump "${built[@]}"
