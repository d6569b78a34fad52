#!/usr/bin/env bash
# Runs one Windows program under Wine in the prefix of the current test run.
# QP_WINEPREFIX is set by scripts/test.sh; a bare ctest call falls back to the
# prefix beside the Windows build tree.
set -u
: "${QP_WINEPREFIX:=${WINEPREFIX:-}}"
if [ -z "$QP_WINEPREFIX" ]; then
  echo "wine-emu: no Wine prefix; run the tests through scripts/test.sh" >&2
  exit 2
fi
export WINEPREFIX="$QP_WINEPREFIX" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
