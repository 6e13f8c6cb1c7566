#!/usr/bin/env bash
# An X server of its own for the window tests (Xvfb, Debian's xvfb).
#
#   xvfb.sh start STATE_DIR    start it; a server left in STATE_DIR is stopped first
#   xvfb.sh stop STATE_DIR     stop it
#
# start picks a free display number (Xvfb's -displayfd), a 1024 x 768 screen
# at 96 dots per inch (15 twips per pixel), listening on its local socket
# only, and writes to STATE_DIR: display (":N") and pid. Every wait is bounded.
set -euo pipefail

die() { echo "xvfb.sh: $*" >&2; exit 1; }

stop_server() {
  local state=$1 pid
  if [ -f "$state/pid" ]; then
    pid=$(cat "$state/pid")
    # Only the server we started: the process of that number runs Xvfb as we started it.
    if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "Xvfb -displayfd 3"; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q Xvfb || break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$state/pid" "$state/display" "$state/displayfd"
}

cmd=${1:-}
state=${2:-}
[ -n "$state" ] || die "usage: xvfb.sh start|stop STATE_DIR"

case "$cmd" in
  start)
    command -v Xvfb >/dev/null || die "Xvfb is not installed (Debian package xvfb)"
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    stop_server "$state"
    : >"$state/displayfd"
    # -noreset: the server would reset whenever its last client leaves, and refuse
    # the connections made meanwhile.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset \
      3>"$state/displayfd" </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/pid"
    for _ in $(seq 100); do
      if [ -s "$state/displayfd" ] && [ "$(tail -c 1 "$state/displayfd" | od -An -c | tr -d ' ')" = '\n' ]; then
        echo ":$(tr -d '\n' <"$state/displayfd")" >"$state/display"
        exit 0
      fi
      kill -0 "$(cat "$state/pid")" 2>/dev/null || break
      sleep 0.1
    done
    cat "$state/xvfb.log" >&2 || true
    stop_server "$state"
    die "Xvfb did not start"
    ;;
  stop)
    [ -d "$state" ] && state=$(cd "$state" && pwd)
    stop_server "$state"
    ;;
  *)
    die "usage: xvfb.sh start|stop STATE_DIR"
    ;;
esac
