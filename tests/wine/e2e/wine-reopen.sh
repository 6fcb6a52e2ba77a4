#!/bin/sh
# End to end under Wine: the reader is unplugged and plugged in again.
# tarvel.exe holds COM1 and types a card written into COM2; then COM1's
# pseudo-terminal pair is taken away (its socat ends: both ends hang up and
# the links go) and, a few seconds later, a new pair is made behind the same
# names. tarvel.exe must say it lost the port, open it again by itself and
# type the next card.
#
# Wine's comm-event wait does not notice a pseudo-terminal that hung up (it
# keeps waiting on the orphaned device); the loss shows once the new pair is
# there, so the loss line is looked for after that, and the attempt that
# comes while socat is still setting the new pair up may fail once more.
# How long Wine takes varies widely: 11 s to over two minutes were seen, so
# the loss may take up to five minutes and the reopening two more.
# Needs scripts/wine-env.sh (the pair's process id in $TARVEL_WINE_PORTS/
# pair.pid; the new pair's goes there, for its cleanup); exits with 77
# (skipped) without it.
#   wine-reopen.sh WINE TARVEL_EXE WINDOW_EXE
set -u
wine=$1 tarvel=$2 window=$3
ports=${TARVEL_WINE_PORTS:-}

if [ -z "$ports" ] || [ -z "${DISPLAY:-}" ] || [ ! -s "$ports/pair.pid" ]; then
  echo "wine-reopen.sh: skipped: COM1 and COM2 are the pty pair of scripts/wine-env.sh; run under it"
  exit 77
fi

. "$(dirname "$0")/../wine-test-lib.sh"
errors=$(mktemp)
pid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  echo "tarvel.exe said:"; cat "$errors"
  rm -f "$errors"
}
trap finish EXIT

# The pair of scripts/wine-env.sh: its socat, checked by its command line.
pair=$(cat "$ports/pair.pid")
if ! tr '\0' ' ' <"/proc/$pair/cmdline" 2>/dev/null | grep -qF "link=$ports/com1"; then
  fail "no pair behind $ports/com1 (process $pair)"
  exit 1
fi
first=$(readlink -f "$ports/com1")

"$wine" "$tarvel" COM1 10 1 1 </dev/null 2>"$errors" &
pid=$!
within "holds $first" 300 || { fail "tarvel.exe did not open COM1 ($first)"; exit 1; }
"$wine" "$window" --expect "$(hexof '2864434397\n')" "$(hexof '\00200AABBCCDD00\003')"
status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || fail "the first card"

echo "== the pair goes away"
kill "$pair"
gone=$(date +%s)
sleep 3
kill -0 "$pid" 2>/dev/null || fail "tarvel.exe ended"

echo "== a new pair behind the same names"
rm -f "$ports/com1" "$ports/com2"
socat "pty,raw,echo=0,link=$ports/com1" "pty,raw,echo=0,link=$ports/com2" </dev/null >/dev/null 2>&1 &
echo $! >"$ports/pair.pid"
within '[ -e "$ports/com2" ]' 100 || fail "the new pair did not come"
second=$(readlink -f "$ports/com1")
echo "COM1 was $first, now $second"
within 'grep -q "serial port COM1: lost (" "$errors"' 3000 || fail "no loss reported"
echo "the loss was told $(( $(date +%s) - gone )) s after the pair went away"
within 'grep -q "serial port COM1: open again" "$errors"' 1200 || fail "not opened again"
# The last word is the reopening, and stays so.
last='[ "$(tr -d "\r" <"$errors" | grep "serial port COM1: " | tail -n 1)" = "serial port COM1: open again" ]'
within "$last" 300 && sleep 2 && eval "$last" || fail "not open at the end"
within "holds $second" 100 || fail "tarvel.exe does not hold the new device $second"
"$wine" "$window" --expect "$(hexof '0305419896\n')" "$(hexof '\0020F1234567807\003')"
[ $? -eq 0 ] || fail "the card after the reader came back"
[ $failed -eq 0 ] && echo "all passed"
exit $failed
