# What scripts/demo.sh and scripts/test-deb.sh share; sourced by bash after
# `set -euo pipefail`, with $work a scratch folder and pids=() the processes
# to end on exit.

say() { printf '%s\n' "$*"; }

# Waits until FILE holds a line matching PATTERN (grep -E), at most SECONDS.
wait_for_line() {
  local file=$1 pattern=$2 seconds=$3 i
  for ((i = 0; i < seconds * 10; i++)); do
    grep -qE "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Starts an Xvfb on a free display and exports DISPLAY; false (with Xvfb's
# own words on standard output) when it does not start.
start_xvfb() {
  Xvfb -displayfd 3 -nolisten tcp -screen 0 640x480x24 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  if ! wait_for_line "$work/display" '^[0-9]+$' 30; then
    say "Xvfb did not start:"; cat "$work/xvfb.log"
    return 1
  fi
  export DISPLAY=":$(cat "$work/display")"
}

# Sets run_tarvel to the command that starts PROGRAM typing through XTest on
# DISPLAY. tarvel types through uinput when /dev/uinput is writable, and
# uinput keys go to the console's focused window, which need not be this
# display's; so as root PROGRAM runs in a mount namespace where /dev/uinput
# is /dev/null.
xtest_tarvel() {
  run_tarvel=("$1")
  if [ -w /dev/uinput ]; then
    if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
      run_tarvel=(unshare --mount --propagation private sh -c 'mount --bind /dev/null /dev/uinput && exec "$0" "$@"'
                  "$1")
    else
      say "note: /dev/uinput is writable, so tarvel types through it, into the focused window of the console"
    fi
  fi
}
