#!/bin/sh
# Runs a command (a Windows test under Wine) with an X display for Wine's
# windows: the one DISPLAY names when it is set, else an Xvfb of its own for
# the command's lifetime. scripts/wine-env.sh, which CI runs ctest in, sets
# DISPLAY and the Wine settings; this is for ctest run on its own.
set -eu

if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi

tmp=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb writes its display number to fd 3 when it takes connections.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
i=0
while [ ! -s "$tmp/display" ]; do
  if ! kill -0 "$xvfb_pid" 2>/dev/null || [ "$i" -ge 300 ]; then
    echo "with-display.sh: Xvfb did not come up:" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
  i=$((i + 1))
done
DISPLAY=":$(head -n 1 "$tmp/display")"
export DISPLAY

# Without a window manager every hide of a managed window stalls for 2 s.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true

"$@"
