#!/bin/sh
# tarvel.exe under Wine, as a user meets it:
#   1. no arguments: the window with its controls (checked through the Win32
#      API by form_check.exe), a screenshot, and closing it ends with status 0;
#   2. four arguments on COM1: the window goes hidden and the port is open;
#   3. a bad number: the error box, then status 1;
#   4. three arguments: the usage in the error box, then status 2;
#   5. a port that does not exist: the open error in the box, then status 1.
# Needs scripts/wine-env.sh (a display, unmanaged windows, COM1 on a pty).
#   form-test.sh WINE TARVEL_EXE FORM_CHECK_EXE OUTPUT_FOLDER
set -u
wine=$1 tarvel=$2 check=$3 out=$4

if [ -z "${TARVEL_WINE_PORTS:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "form-test.sh: run under scripts/wine-env.sh (it gives a display and COM1)"
  exit 77
fi

. "$(dirname "$0")/../wine-test-lib.sh"

start() { "$wine" "$tarvel" "$@" </dev/null & pid=$!; }

# Waits up to 60 s for tarvel to end and compares its status.
expect_status() {
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$2: tarvel is still running"
    kill "$pid"; wait "$pid" 2>/dev/null
    return
  fi
  wait "$pid"; status=$?
  [ "$status" -eq "$1" ] || fail "$2: status $status, expected $1"
}

echo "== 1. no arguments: the window"
start
if "$wine" "$check" window >"$out/form-check.txt"; then
  set -- $(grep '^RECT' "$out/form-check.txt" | tr -d '\r')
  left=$(( $2 - 10 )); top=$(( $3 - 10 )); width=$(( $4 - $2 + 20 )); height=$(( $5 - $3 + 20 ))
  import -window root -crop "${width}x${height}+${left}+${top}" +repage "$out/tarvel-form1-win32.png" ||
    fail "no screenshot"
  echo "screenshot: $out/tarvel-form1-win32.png"
else
  cat "$out/form-check.txt"
  fail "the window's controls"
fi
"$wine" "$check" close || fail "closing the window"
expect_status 0 "closing the window"

echo "== 2. four arguments on COM1: hidden, the port open at 9600 baud"
start COM1 10 1 1
"$wine" "$check" hidden || fail "four arguments on COM1: the window"
# From the other end: tarvel's process holds the pty behind COM1, set to 9600.
device=$(readlink -f "$TARVEL_WINE_PORTS/com1")
if ls -l "/proc/$pid/fd" 2>/dev/null | grep -q " $device\$"; then
  speed=$(stty -F "$device" speed 2>&1)
  [ "$speed" = 9600 ] || fail "four arguments on COM1: the port runs at $speed baud"
else
  fail "four arguments on COM1: tarvel does not hold $device"
fi
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null

echo "== 3. a bad number: the error box, status 1"
start COM1 x 1 1
"$wine" "$check" errorbox "'x' is not a valid integer value." || fail "the bad number's error box"
expect_status 1 "a bad number"

echo "== 4. three arguments: the usage, status 2"
start COM1 10 1
"$wine" "$check" errorbox "Usage: tarvel SerialPort FillZeroLength AutoEnter CardFormat\\nDefault : tarvel.exe com1 10 1 1." ||
  fail "the usage box"
expect_status 2 "three arguments"

echo "== 5. a port that does not exist: the open error, status 1"
start COM9 10 1 1
"$wine" "$check" errorbox "Unable to open com port (win error code: 2)" || fail "the open error's box"
expect_status 1 "a missing port"

[ $failed -eq 0 ] && echo "all passed"
exit $failed
