#!/usr/bin/env bash
# The main job: builds the Windows deliverables into dist/, then shows
# vex.dll at work: registered with Wine's regsvr32 in a fresh Wine prefix, it
# is loaded by the stand-in browser, which plays a short browsing session
# (a page load, popups with and without the user's click, a key press, a menu,
# a popup forced open with Shift) and reports each new-window request and
# what the helper object counted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/winenv.sh

mkdir -p build/dist
if ! { cmake -S . -B build/dist -DCMAKE_BUILD_TYPE=Release \
         -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" &&
       cmake --build build/dist -j 2; } >build/dist/build.log 2>&1; then
  cat build/dist/build.log
  echo "run: the build failed" >&2
  exit 1
fi

rm -rf dist
mkdir -p dist
for f in extension/vex.dll standin/standin.exe standin/standin_ie.dll; do
  cp "build/dist/$f" dist/
done
if [ -f build/dist/dlg/zot.exe ]; then cp build/dist/dlg/zot.exe dist/; fi
echo "Built into dist/ (each with the DLLs it imports):"
bash scripts/check-imports.sh i686-w64-mingw32-objdump dist/*.dll dist/*.exe

echo
echo "vex.dll in the stand-in browser (Wine, fresh prefix):"
qp_wine_start "$root/build/dist/wineprefix"
wine regsvr32 /s 'dist\vex.dll'
wine dist/standin.exe --register-ie >/dev/null
# Settings as the tray program publishes them: blocking on, popup killing on.
wine dist/standin.exe --summary --settings Enable=1,KillPopup=1 standin/examples/popup.json \
  2>build/dist/demo-summary.txt | tee build/dist/demo.jsonl | grep -E '"event":"(newwindow|counters)"' || true
echo
cat build/dist/demo-summary.txt
