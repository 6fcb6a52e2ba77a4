# What the shell tests under Wine share; sourced after `set -u`. A test sets
# pid to the process it watches.

failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Bytes as hex pairs; TEXT is a printf format (\002 STX, \003 ETX, \t, \n).
hexof() { printf "$1" | od -An -tx1 | tr -d ' \n'; }

# Waits up to $2 tenths of a second for the command $1 to succeed.
within() {
  i=0
  until eval "$1"; do
    i=$((i + 1))
    [ $i -ge "$2" ] && return 1
    sleep 0.1
  done
}

# Whether process $pid holds the device $1 open.
holds() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -q " $1\$"; }

# Waits up to 30 s for process $pid to open the device $1; gives up at once
# when the process ends.
opens() {
  i=0
  until holds "$1"; do
    i=$((i + 1))
    if [ $i -ge 300 ] || ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    sleep 0.1
  done
}
