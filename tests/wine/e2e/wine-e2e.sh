#!/bin/sh
# End to end under Wine: tarvel.exe with four arguments on COM1, the frames
# written into COM2 (the other end of COM1's pty pair) and the keys typed into
# a window, for a few formats (wine_e2e_window.exe does the Windows side).
# Needs scripts/wine-env.sh (a display, unmanaged windows, COM1/COM2 on a pty
# pair); exits with 77 (skipped) without it.
#   wine-e2e.sh WINE TARVEL_EXE WINDOW_EXE KEYBOARD_TESTS_EXE
set -u
wine=$1 tarvel=$2 window=$3 keyboard_tests=$4

if [ -z "${TARVEL_WINE_PORTS:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-e2e.sh: skipped: COM1 and COM2 are the pty pair of scripts/wine-env.sh; run under it"
  exit 77
fi
device=$(readlink -f "$TARVEL_WINE_PORTS/com1")

. "$(dirname "$0")/../wine-test-lib.sh"
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

# Field frames: STX, version byte and card as ten hex digits, XOR check
# digits, (CR LF,) ETX.
frame_aabbccdd=$(hexof '\00200AABBCCDD00\003')
frame_0faabbccdd=$(hexof '\0020FAABBCCDD0F\003')
frame_lower_crlf=$(hexof '\00200aabbccdd00\r\n\003')
frame_malformed=$(hexof '\002ZZZZZZZZZZZZ\003')
frame_0f12345678=$(hexof '\0020F1234567807\003')
# 2,000 bytes of hex text with no frame mark, as a reader at the wrong speed
# sends.
noise_2000=$(i=0; while [ $i -lt 125 ]; do printf '0123456789ABCDEF'; i=$((i + 1)); done | od -An -v -tx1 | tr -d ' \n')

# run NAME FORMAT EXPECTED-HEX FRAME-HEX...
run() {
  name=$1 format=$2 expect=$3
  shift 3
  echo "== $name: tarvel.exe COM1 10 1 $format"
  "$wine" "$tarvel" COM1 10 1 "$format" </dev/null 2>"$errors" &
  pid=$!
  if ! opens "$device"; then
    fail "$name: tarvel.exe did not open COM1 ($device)"
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    return
  fi
  "$wine" "$window" --expect "$expect" --gap 600 "$@"
  status=$?
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  [ $status -eq 77 ] && exit 77
  [ $status -eq 0 ] || fail "$name"
}

run "a malformed frame, then a good one" 1 "$(hexof '2864434397\n')" "$frame_malformed" "$frame_aabbccdd"
# The malformed frame is reported on tarvel's diagnostic stream, in hex.
grep -q "frame \[02 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 03\] not typed: " "$errors" ||
  fail "the malformed frame was not reported: $(cat "$errors")"
run "format 7: the prefix first" 7 "$(hexof '0152864434397\n')" "$frame_0faabbccdd"
run "format 10: a Tab inside" 10 "$(hexof '00187\t52445\n')" "$frame_aabbccdd"
run "format 14: lower-case hex on the letter keys" 14 "$(hexof '0faabbccdd\n')" "$frame_lower_crlf"
# Frames are cut at their marks: two in one write are two cards.
run "two frames in one write" 1 "$(hexof '2864434397\n0305419896\n')" "$frame_aabbccdd$frame_0f12345678"
# A burst of noise types nothing, is reported, and the port keeps listening.
run "a burst of 2,000 noise bytes, then a card" 1 "$(hexof '2864434397\n')" "$noise_2000" "$frame_aabbccdd"
grep -q "bytes outside any frame" "$errors" ||
  fail "the burst was not reported: $(cat "$errors")"

# The French layout on the X display, which Wine's keyboard follows: the
# digits sit on the Shift level and "a" where US has "q", so every key must
# be looked up in the layout. Set before tarvel.exe and the window start.
if command -v setxkbmap >/dev/null 2>&1; then
  if setxkbmap -display "$DISPLAY" -layout fr; then
    trap 'setxkbmap -display "$DISPLAY" -layout us 2>/dev/null; rm -f "$errors"' EXIT
    echo "== French layout: the key lookup on its own"
    TARVEL_EXPECT_LAYOUT=fr "$wine" "$keyboard_tests" --gtest_filter='KeyLookup.*' </dev/null ||
      fail "French layout: the key lookup"
    run "French layout, format 10: digits and a Tab" 10 "$(hexof '00187\t52445\n')" "$frame_aabbccdd"
    run "French layout, format 9: hex letters" 9 "$(hexof '00aabbccdd\n')" "$frame_aabbccdd"
    setxkbmap -display "$DISPLAY" -layout us || fail "cannot set the US layout back"
  else
    fail "setxkbmap -layout fr failed"
  fi
else
  fail "setxkbmap is missing (x11-xkb-utils)"
fi

[ $failed -eq 0 ] && echo "all passed"
exit $failed
