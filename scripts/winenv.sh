# Sourced by the test, run and benchmark scripts: a fresh Wine prefix of the
# run's own, one wineserver kept alive for the run, and an Xvfb display.
# Everything started here is ended by qp_wine_stop (installed as an EXIT trap).

qp_wine_start() {
  local prefix=$1
  export WINEPREFIX="$prefix" QP_WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
  # No Gecko or Mono installer dialogs while the prefix is made.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$prefix"
  mkdir -p "$prefix"

  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QP_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$QP_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      break
    fi
    QP_XVFB_PID=
  done
  if [ -z "${DISPLAY:-}" ]; then
    echo "winenv: could not start Xvfb" >&2
    return 1
  fi
  trap qp_wine_stop EXIT

  # The server is started first, kept alive for the whole run, and ended by qp_wine_stop.
  wineserver -p || { echo "winenv: wineserver did not start" >&2; return 1; }
  wineboot -i >/dev/null 2>&1 || { echo "winenv: wineboot failed" >&2; return 1; }
  # Xvfb runs no window manager: Wine's own window management then waits up
  # to 2 s for a manager's answer whenever a window is destroyed. Unmanaged
  # windows skip that wait.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    { echo "winenv: the Wine prefix could not be configured" >&2; return 1; }
}

qp_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
  if [ -n "${QP_XVFB_PID:-}" ]; then
    kill "$QP_XVFB_PID" 2>/dev/null || true
    wait "$QP_XVFB_PID" 2>/dev/null || true
  fi
}
