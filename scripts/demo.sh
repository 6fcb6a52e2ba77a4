#!/usr/bin/env bash
# The main job, end to end: installs what is missing, builds tarvel (release),
# starts the virtual card reader, runs `tarvel PORT FILL ENTER FORMAT` against
# it for a handful of cards in several formats, and shows what arrived in a
# receiver window beside what was expected.
#
# With DISPLAY set, the receiver window opens on that display and a person
# sees the cards being typed into it. Without, the demo starts an Xvfb of its
# own and prints the comparison (and saves a screenshot of the window).
#
# Exit status: 0 when every card arrived as expected, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh

step() { printf '\n==== %s ====\n' "$*"; }

step "Packages"
scripts/install-deps.sh

step "Build (linux-release)"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target tarvel tarvel-reader tarvel-receiver
build="$root/build/linux-release"
tarvel="$build/app/tarvel"
reader="$build/tools/tarvel-reader"
receiver="$build/tools/tarvel-receiver"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvel-demo.XXXXXX")
pids=()  # the processes this script started and has not waited for yet
# Ends one of them and waits for it.
stop() {
  local pid=$1 kept=() p
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  for p in "${pids[@]}"; do [ "$p" = "$pid" ] || kept+=("$p"); done
  pids=("${kept[@]}")
}
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    stop "$pid"
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

step "Display"
own_display=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  say "typing into a window on your display $DISPLAY"
else
  start_xvfb || exit 1
  own_display=1
  say "no display: using an Xvfb of the demo's own on $DISPLAY"
fi

# tarvel kept to XTest on DISPLAY (see xtest_tarvel).
xtest_tarvel "$tarvel"

# The runs: FORMAT FILL ENTER, the reader's cards and options, and the lines
# the window should receive (a Tab written as \t). A malformed frame between
# two cards costs that frame only.
formats=() fills=() enters=() cards=() expects=()
add_run() { formats+=("$1"); fills+=("$2"); enters+=("$3"); cards+=("$4"); expects+=("$5"); }
add_run 1 10 1 "AABBCCDD raw:\\x02ZZZZZZZZZZZZ\\x03 0F12345678" '2864434397\n0305419896'
add_run 3 10 1 "AABBCCDD" '0018752445'
add_run 7 10 1 "0FAABBCCDD" '0152864434397'
add_run 10 10 1 "AABBCCDD" '00187\t52445'
add_run 14 10 1 "--crlf --lower AABBCCDD" '0faabbccdd'

expected_file="$work/expected.txt"
: >"$expected_file"
for e in "${expects[@]}"; do printf "$e\\n" >>"$expected_file"; done

step "Receiver window"
"$receiver" --expect "$expected_file" --title "tarvel demo: the cards arrive here" >"$work/received" 2>"$work/receiver.log" &
receiver_pid=$!
pids+=("$receiver_pid")
if ! wait_for_line "$work/received" '^ready$' 30; then
  say "the receiver window did not get the keyboard focus:"; cat "$work/receiver.log"; exit 1
fi
say "the receiver window has the focus"

received_text() { tail -c +7 "$work/received"; }  # without "ready\n"

expected_so_far=""
for i in "${!formats[@]}"; do
  format=${formats[$i]} fill=${fills[$i]} enter=${enters[$i]}
  # shellcheck disable=SC2206  # the cards are words
  card_args=(${cards[$i]})
  expected_so_far+=$(printf "${expects[$i]}\\n"; printf x)
  expected_so_far=${expected_so_far%x}

  step "tarvel \$PORT $fill $enter $format  <-  ${cards[$i]}"
  link="$work/reader"
  "$reader" --link "$link" --wait-open --delay 200 --gap 600 --baud 9600 --hold forever --report \
    "${card_args[@]}" </dev/null >"$work/reader.out" 2>"$work/reader.err" &
  reader_pid=$!
  pids+=("$reader_pid")
  if ! wait_for_line "$work/reader.out" '^/dev/' 10; then
    say "the reader did not start:"; cat "$work/reader.err"; exit 1
  fi
  say "virtual reader on $(head -n 1 "$work/reader.out"), linked as $link"

  "${run_tarvel[@]}" "$link" "$fill" "$enter" "$format" 2>"$work/tarvel.err" &
  tarvel_pid=$!
  pids+=("$tarvel_pid")

  # Until everything expected so far has arrived (and half a second more for
  # anything unexpected), at most 20 s.
  for ((t = 0; t < 200; t++)); do
    [ "$(received_text)" = "${expected_so_far%$'\n'}" ] && break
    kill -0 "$tarvel_pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5
  stop "$tarvel_pid"
  stop "$reader_pid"
  sed -n 's/^sent [0-9.]* /  frame sent: /p' "$work/reader.out"
  if [ -s "$work/tarvel.err" ]; then
    sed 's/^/  tarvel said: /' "$work/tarvel.err"
  fi
done

if [ "$own_display" -eq 0 ]; then
  say ""; say "(the window stays for 5 seconds)"; sleep 5
elif command -v import >/dev/null; then
  import -display "$DISPLAY" -window root -crop 640x240+0+0 "$build/demo-receiver.png" 2>/dev/null &&
    say "" && say "screenshot of the receiver window: $build/demo-receiver.png"
fi
stop "$receiver_pid"

step "What arrived"
expected=$(cat "$expected_file"; printf x); expected=${expected%x}
received=$(received_text; printf x); received=${received%x}
show() { sed 's/\t/<Tab>/g'; }
mapfile -t exp_lines < <(printf '%s' "$expected" | show)
mapfile -t got_lines < <(printf '%s' "$received" | show)
rows=${#exp_lines[@]}
((${#got_lines[@]} > rows)) && rows=${#got_lines[@]}
printf '%-20s %-20s\n' "expected" "received"
for ((r = 0; r < rows; r++)); do
  e=${exp_lines[$r]-} g=${got_lines[$r]-}
  mark="ok"
  [ "$e" = "$g" ] || mark="DIFFERENT"
  printf '%-20s %-20s %s\n' "$e" "$g" "$mark"
done
if [ "$received" = "$expected" ]; then
  say ""; say "every card arrived as expected"
  exit 0
fi
say ""; say "the window did not receive what was expected"
exit 1
