#!/bin/sh
# The Windows installer under Wine, as a site installs tarvel on a kiosk:
#   1. a silent install with the log-on switches: the files, the Start-menu
#      entry, the uninstaller and the log-on entry with the four arguments;
#   2. the installed tarvel.exe, started with the log-on entry's command
#      line, types a card written into COM2 (the other end of COM1);
#   3. the installed German catalog: LANG=de_DE.UTF-8 and a port that does
#      not exist give the German open error in the error box;
#   4. switches tarvel would refuse end the installer with status 2, and
#      install nothing;
#   5. the silent uninstall leaves no file and no entry.
# Needs scripts/wine-env.sh (a display, COM1/COM2 on a pty pair); exits with
# 77 (skipped) without it.
#   installer-test.sh WINE SETUP_EXE WINDOW_EXE FORM_CHECK_EXE VERSION
set -u
wine=$1 setup=$2 window=$3 check=$4 version=$5

if [ -z "${TARVEL_WINE_PORTS:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "installer-test.sh: skipped: run under scripts/wine-env.sh (a display, COM1 and COM2)"
  exit 77
fi

. "$(dirname "$0")/../wine-test-lib.sh"
runkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tarvel'

winpath() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
expand() { "$wine" cmd /c echo "$1" 2>/dev/null | tr -d '\r'; }
programs=$(winpath "$(expand '%ProgramW6432%')")
[ -n "$programs" ] && [ "$programs" != "%ProgramW6432%" ] || programs=$(winpath "$(expand '%ProgramFiles%')")
instdir="$programs/tarvel"
menu="$(winpath "$(expand '%ProgramData%')")/Microsoft/Windows/Start Menu/Programs/tarvel"
echo "install folder: $instdir"

# The Run value (64-bit registry view), or nothing.
logon_entry() {
  "$wine" reg query "$runkey" /v tarvel /reg:64 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *tarvel *REG_SZ *//p'
}

# Waits up to 60 s for the install folder to go (the uninstaller copies
# itself away and runs on after its first process ends).
wait_gone() {
  i=0
  while [ -e "$instdir" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
}

# A leftover of an earlier run in this prefix goes first.
if [ -e "$instdir/uninstall.exe" ]; then
  "$wine" "$instdir/uninstall.exe" /S
  wait_gone
fi
rm -rf "$instdir" "$menu"
"$wine" reg delete "$runkey" /v tarvel /reg:64 /f >/dev/null 2>&1

echo "== 4. refused switches: status 2, nothing installed"
for bad in "/PORT=COM1 /FILL=x" "/PORT=COM1 /FORMAT=" "/PORT= /FILL=10"; do
  # shellcheck disable=SC2086  # the switches are words
  "$wine" "$setup" /S $bad
  status=$?
  [ $status -eq 2 ] || fail "setup /S $bad: status $status, expected 2"
  [ -e "$instdir" ] && fail "setup /S $bad installed $instdir"
  [ -n "$(logon_entry)" ] && fail "setup /S $bad wrote a log-on entry"
done

echo "== 1. silent install with the log-on switches"
"$wine" "$setup" /S /PORT=COM1 /FILL=10 /ENTER=1 /FORMAT=1
status=$?
[ $status -eq 0 ] || fail "the silent install ended with status $status"
for f in tarvel.exe uninstall.exe locale/de/LC_MESSAGES/default.mo locale/fr/LC_MESSAGES/default.mo \
         locale/es/LC_MESSAGES/default.mo; do
  [ -s "$instdir/$f" ] || fail "missing: $instdir/$f"
done
[ -s "$menu/tarvel.lnk" ] || fail "no Start-menu entry at $menu/tarvel.lnk"
"$wine" reg query "$uninstkey" /v DisplayVersion /reg:64 2>/dev/null | grep -q "REG_SZ" ||
  fail "no entry in the list of installed programs"
entry=$(logon_entry)
printf 'log-on entry: %s\n' "$entry"
exe=$(printf '%s' "$entry" | sed -n 's/^"\([^"]*\)" .*/\1/p')
arguments=$(printf '%s' "$entry" | sed -n 's/^"[^"]*" //p')
[ "$arguments" = "COM1 10 1 1" ] || fail "the log-on entry's arguments are \"$arguments\""
[ "$(winpath "$exe")" = "$instdir/tarvel.exe" ] || fail "the log-on entry starts \"$exe\""

out=$("$wine" "$instdir/tarvel.exe" --version </dev/null | tr -d '\r')
[ "$out" = "tarvel $version" ] || fail "the installed tarvel.exe --version says \"$out\""

echo "== 2. the log-on command line types a card from COM1"
device=$(readlink -f "$TARVEL_WINE_PORTS/com1")
# shellcheck disable=SC2086  # the entry's arguments are words
"$wine" "$exe" $arguments </dev/null &
pid=$!
opens "$device" || fail "the installed tarvel.exe did not open COM1"
"$wine" "$window" --expect "$(hexof '2864434397\n')" --gap 600 "$(hexof '\00200AABBCCDD00\003')" ||
  fail "the card typed by the installed tarvel.exe"
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null

echo "== 3. the German catalog: a port that does not exist"
LANG=de_DE.UTF-8 "$wine" "$instdir/tarvel.exe" COM9 10 1 1 </dev/null &
pid=$!
# form_check in a UTF-8 locale that every system has, so that Wine reads
# the expected text on its command line as UTF-8.
LANG=C.UTF-8 "$wine" "$check" errorbox "Serielle Schnittstelle lässt sich nicht öffnen (Windows-Fehlercode: 2)" ||
  fail "the German open error"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
kill -9 "$pid" 2>/dev/null
wait "$pid"
status=$?
[ $status -eq 1 ] || fail "the missing port: status $status, expected 1"

echo "== 5. silent uninstall"
"$wine" "$instdir/uninstall.exe" /S
wait_gone
[ -e "$instdir" ] && fail "left: $(find "$instdir" | tr '\n' ' ')"
[ -e "$menu" ] && fail "left: $menu"
[ -n "$(logon_entry)" ] && fail "the log-on entry is left"
"$wine" reg query "$uninstkey" /reg:64 >/dev/null 2>&1 && fail "the entry in the list of installed programs is left"

[ $failed -eq 0 ] && echo "all passed"
exit $failed
