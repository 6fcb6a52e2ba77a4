#!/usr/bin/env bash
# The Debian package as a user gets it: lintian, dpkg -i (its dependencies
# through apt-get), the installed tarvel's --version and --help, one card from
# the virtual reader typed into a window on an Xvfb of our own, the German
# catalog's text for a port that does not exist, then dpkg -r and a check that
# no file of the package is left. Needs root and the release build's package:
#   cmake --build --preset linux-release && (cd build/linux-release && cpack -G DEB)
#   scripts/test-deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/linux-release
version=$(sed -n 's/^project(tarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$(ls "$build"/tarvel_"$version"_*.deb)
. scripts/lib.sh
fail() { say "FAILED: $*"; exit 1; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvel-deb.XXXXXX")
pids=()
installed=0  # 1 while the package this script installed is on the machine
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
  if [ "$installed" -eq 1 ]; then $SUDO dpkg -r tarvel >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

say "== lintian $deb"
lintian --fail-on error --tag-display-limit 0 "$deb"

say "== install: dependencies through apt-get, then dpkg -i"
dpkg-deb -f "$deb" Depends
$SUDO apt-get satisfy -y -qq --no-install-recommends "$(dpkg-deb -f "$deb" Depends)" >/dev/null
installed=1
$SUDO dpkg -i "$deb"
dpkg-query -L tarvel >"$work/files"
[ "$(command -v tarvel)" = /usr/bin/tarvel ] || fail "tarvel is not /usr/bin/tarvel"
[ "$(readlink /usr/bin/tarvel)" = ../lib/tarvel/tarvel ] || fail "/usr/bin/tarvel is not the link to the program"

say "== tarvel --version"
out=$(tarvel --version) || fail "tarvel --version gave status $?"
say "$out"
[ "$out" = "tarvel $version" ] || fail "expected \"tarvel $version\""

say "== tarvel --help"
env -u DISPLAY tarvel --help >"$work/help" || fail "tarvel --help gave a status other than 0"
head -n 2 "$work/help"
grep -q "FillZeroLength AutoEnter CardFormat" "$work/help" || fail "the help text is not there"
[ -s /usr/share/man/man1/tarvel.1.gz ] && [ -s /usr/share/man/man1/tarvel-reader.1.gz ] || fail "man pages"

say "== the installed German catalog: a port that does not exist"
status=0
env -u DISPLAY LANG=de_DE.UTF-8 tarvel /dev/tarvel-no-such-port 10 1 1 2>"$work/de.err" || status=$?
cat "$work/de.err"
[ "$status" -eq 1 ] || fail "status $status, expected 1"
grep -qF "Serielle Schnittstelle lässt sich nicht öffnen (Windows-Fehlercode: 2)" "$work/de.err" ||
  fail "no German text"

say "== one card: the installed tarvel and reader, typed into a window on an Xvfb"
start_xvfb || fail "Xvfb did not start"
printf '2864434397\n' >"$work/expected"
"$build/tools/tarvel-receiver" --expect "$work/expected" --title "tarvel package test" \
  >"$work/received" 2>"$work/receiver.log" &
pids+=($!)
wait_for_line "$work/received" '^ready$' 30 || { cat "$work/receiver.log"; fail "the receiver window has no focus"; }
tarvel-reader --link "$work/reader" --wait-open --delay 200 --hold forever AABBCCDD \
  </dev/null >"$work/reader.out" 2>"$work/reader.err" &
pids+=($!)
wait_for_line "$work/reader.out" '^/dev/' 10 || { cat "$work/reader.err"; fail "the reader did not start"; }
# Typed through XTest, as in the demo.
xtest_tarvel tarvel
"${run_tarvel[@]}" "$work/reader" 10 1 1 2>"$work/tarvel.err" &
tarvel_pid=$!
pids+=("$tarvel_pid")
for ((t = 0; t < 200; t++)); do
  [ "$(tail -c +7 "$work/received")" = 2864434397 ] && break
  sleep 0.1
done
kill "$tarvel_pid"
wait "$tarvel_pid" || fail "tarvel ended with status $? when stopped"
received=$(tail -c +7 "$work/received")
say "received: $received"
[ "$received" = 2864434397 ] || { cat "$work/tarvel.err"; fail "expected 2864434397"; }

say "== dpkg -r: nothing of the package is left"
$SUDO dpkg -r tarvel
installed=0
left=0
while read -r path; do
  case "$path" in /. | /usr | /usr/bin | /usr/lib | /usr/share | /usr/share/doc | /usr/share/man | /usr/share/man/man1) continue ;; esac
  if [ -e "$path" ] || [ -L "$path" ]; then say "left: $path"; left=1; fi
done <"$work/files"
[ "$left" -eq 0 ] || fail "files left after dpkg -r"
if dpkg-query -W -f='${Status}' tarvel 2>/dev/null | grep -q installed; then fail "dpkg still lists tarvel"; fi
say "package test passed"
