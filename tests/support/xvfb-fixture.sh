#!/usr/bin/env bash
# A private X server for the tests that need a display.
#   xvfb-fixture.sh start DIR   starts Xvfb on a free display; DIR/display receives its number
#   xvfb-fixture.sh stop DIR    stops it and removes the state
# DIR also holds the server's pid and log. One test run per DIR at a time: a start
# stops the server a previous, interrupted run left behind.
set -u

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
cmd=$1
dir=$2

# the pid in DIR/pid when it still names our server (a recycled pid is left alone)
server_pid() {
  local pid
  pid=$(cat "$dir/pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] || return 1
  echo "$pid"
}

# running, and not merely a zombie waiting for whoever adopted it
alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) && [ "$state" != Z ]
}

stop() {
  local pid
  if pid=$(server_pid); then
    kill "$pid" 2>/dev/null
    for _ in $(seq 100); do
      alive "$pid" || break
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$dir/pid" "$dir/display" "$dir/display.tmp"
}

case $cmd in
start)
  mkdir -p "$dir" || exit 1
  # a server left by an interrupted run
  stop
  if ! command -v Xvfb >/dev/null; then
    echo "Xvfb not found: install the xvfb package (scripts/deps)" >&2
    exit 1
  fi
  # -displayfd picks a free display and writes its number once the server accepts
  # connections; no output stays connected to the caller, which waits for its pipes
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset \
    3>"$dir/display.tmp" </dev/null >"$dir/xvfb.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/pid"
  for _ in $(seq 200); do
    [ -s "$dir/display.tmp" ] && break
    alive "$pid" || break
    sleep 0.05
  done
  if [ ! -s "$dir/display.tmp" ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    stop
    exit 1
  fi
  mv "$dir/display.tmp" "$dir/display"
  echo "Xvfb $pid on display :$(cat "$dir/display")"
  ;;
stop)
  stop
  ;;
*)
  usage
  ;;
esac
