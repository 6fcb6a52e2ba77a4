#!/usr/bin/env bash
# Runs a command with a Wine prefix that is ready for tarvel's Windows tests:
# an X display for Wine's windows (an Xvfb of our own unless DISPLAY is set),
# unmanaged windows, and COM1/COM2 as the two ends of a pseudo-terminal pair
# (TARVEL_WINE_PORTS names the folder of their links; TARVEL_WINE_NO_PORTS=1
# leaves the port table alone).
#   scripts/wine-env.sh ctest --preset windows
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

xvfb_pid=""
socat_pid=""
cleanup() {
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
  # A test that took the pair away and made a new one (an unplugged reader)
  # left the new pair's process id here; it is ended only while it is still
  # that pair's socat.
  if [ -n "${ports:-}" ] && [ -s "$ports/pair.pid" ]; then
    pair=$(cat "$ports/pair.pid")
    if tr '\0' ' ' <"/proc/$pair/cmdline" 2>/dev/null | grep -qF "link=$ports/com1"; then
      kill "$pair" 2>/dev/null || true
    fi
    rm -f "$ports/pair.pid"
  fi
  [ -n "${stop_server:-}" ] && env -u LD_PRELOAD wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

# First use of the prefix: create it, then let Wine's windows be unmanaged
# (without a window manager every hide otherwise stalls for 2 s).
wineboot -i >/dev/null 2>&1 || true
# Wine's own fonts (the fonts-wine package: MS Sans Serif, Tahoma, Marlett
# for the caption buttons) go into the prefix, where this Wine finds them;
# without them every window falls back to a wider Linux font.
if [ -d /usr/share/wine/fonts ]; then
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true

# COM1 and COM2: the two ends of a null-modem pair of pseudo-terminals, at
# stable links that Wine's port table names. The shim answers the modem-line
# ioctls that ptys lack.
root=$(cd "$(dirname "$0")/.." && pwd)
ports=${TARVEL_WINE_PORTS:-/tmp/tarvel-wine-ports}
mkdir -p "$ports" "$root/build/wine-shim"
shim="$root/build/wine-shim/libptyshim.so"
if [ ! -e "$shim" ] || [ "$root/tests/wine/shim/ptyshim.c" -nt "$shim" ]; then
  cc -O2 -Wall -Wextra -shared -fPIC -o "$shim" "$root/tests/wine/shim/ptyshim.c" -ldl
fi
if [ -z "${TARVEL_WINE_NO_PORTS:-}" ]; then
  rm -f "$ports/com1" "$ports/com2"
  socat "pty,raw,echo=0,link=$ports/com1" "pty,raw,echo=0,link=$ports/com2" &
  socat_pid=$!
  echo "$socat_pid" >"$ports/pair.pid"
  for _ in $(seq 50); do [ -e "$ports/com2" ] && break; sleep 0.1; done
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$ports/com1" /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$ports/com2" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true   # the port table is read when the server starts
  wineserver -w >/dev/null 2>&1 || true
fi
# A persistent server of our own, started without the shim (it only belongs
# in the processes that use the ports).
wineserver -p >/dev/null 2>&1 || true
# Start Wine's system processes (services.exe and the rest) here, with their
# output to /dev/null: started by the first test instead, they keep its output
# pipe open for as long as the server lives, and ctest waits on it for ever.
wine wineboot </dev/null >/dev/null 2>&1 || true
stop_server=1
export LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}"
export TARVEL_WINE_PORTS="$ports"

"$@"
