#!/usr/bin/env bash
# Fails when a Windows binary imports a DLL that is not part of the system.
set -u
objdump=$1; shift
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|comctl32|comdlg32|wininet|msvcrt|uuid|version|winmm|ws2_32|ntdll|urlmon|hhctrl)\.dll$'
status=0
for binary in "$@"; do
  dlls=$("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  if [ -z "$dlls" ]; then
    echo "$binary: no import table found" >&2
    status=1
    continue
  fi
  for dll in $dlls; do
    if ! [[ $dll =~ $allowed ]]; then
      echo "$binary imports $dll, which is not a system DLL" >&2
      status=1
    fi
  done
  echo "$(basename "$binary"): $(echo $dlls)"
done
exit $status
